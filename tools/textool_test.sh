#!/bin/sh
# textool from the command line: a pattern picture made into a texture of
# every type, described, and shown back as PNG through the GS model:
# the same picture.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" pattern pat.png 128 128
for type in 0 1 2 3 4 5 6 7; do
  "$tool" make pat.png t$type.pnt --type=$type
  "$tool" info t$type.pnt | grep -q "^type $type, 128 x 128"
  "$tool" show t$type.pnt back$type.png
  cmp pat.png back$type.png  # the pattern's colours survive every type
done
"$tool" make pat.png mip.pnt --type=3 --levels=4
"$tool" info mip.pnt | grep -q "4 levels"
"$tool" show mip.pnt mip2.png --level=2
if "$tool" make pat.png bad.pnt --type=9 2>/dev/null; then exit 1; fi
echo "textool: all checks passed"
