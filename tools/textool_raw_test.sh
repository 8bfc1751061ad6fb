#!/bin/sh
# textool's .raw and BMP output: a test pattern written as 32-bit and 16-bit
# .raw images of the expected sizes and bytes, and as a bitmap the engine
# reads back.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" pattern p.png 8 4
"$tool" make p.png p32.raw | grep -q "p32.raw: raw 32-bit, 8 x 4, 128 bytes"
"$tool" make p.png p16.raw --raw=16 | grep -q "p16.raw: raw 16-bit, 8 x 4, 64 bytes"
"$tool" make p.png p.bmp | grep -q "p.bmp: bitmap, 8 x 4, 150 bytes"
# The first pixel of the pattern: 32-bit R G B A, 16-bit big-endian 5:5:5.
first32=$(od -An -tx1 -N4 p32.raw | tr -d ' ')
first16=$(od -An -tx1 -N2 p16.raw | tr -d ' ')
r=$((0x$(echo "$first32" | cut -c1-2))); g=$((0x$(echo "$first32" | cut -c3-4))); b=$((0x$(echo "$first32" | cut -c5-6)))
want=$(printf '%04x' $(( (r >> 3) | ((g >> 3) << 5) | ((b >> 3) << 10) )))
[ "$first16" = "$want" ] || { echo "16-bit $first16, want $want"; exit 1; }
# A bitmap in: the same .raw out.
"$tool" make p.bmp q32.raw > /dev/null
cmp p32.raw q32.raw
if "$tool" make p.png bad.raw --raw=24 2>/dev/null; then echo "24-bit raw made"; exit 1; fi
echo "textool raw/bmp: ok"
