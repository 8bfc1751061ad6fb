#!/bin/sh
# anitool from the command line: a description made into both versions,
# listed and evaluated through the engine's loader; a bad description fails.
set -e
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/walk.txt" <<'DESC'
; a node that walks 10 units along x over 40 frames and turns
end 41
node body 0x0b
channel tx hermite
key 1 0 0.25
key 41 10 0.25
channel ry step
key 1 0
key 21 1.5
channel sy const 2
DESC
"$tool" make "$dir/walk.txt" "$dir/walk.ani" | grep -q "version 2"
"$tool" make "$dir/walk.txt" "$dir/walk1.ani" --v1 | grep -q "version 1"
"$tool" info "$dir/walk.ani" | grep -q "end frame 41, 1 nodes, 9 curves a node, 2 chunks"
"$tool" info "$dir/walk.ani" | grep -q "node 0 flags 0x0b: hermite const const const step const const const const"
"$tool" info "$dir/walk1.ani" | grep -q "chunk 1 node 0 flags 0x0b: hermite(2 keys)"
"$tool" eval "$dir/walk.ani" 21 | grep -q "position 5 0 0"
"$tool" eval "$dir/walk1.ani" 21 | grep -q "position 5 0 0"
"$tool" eval "$dir/walk.ani" 30 | grep -q "^node 0: .* -1.5 "
printf 'end 10\nnode a 0\nchannel tx hermite\nkey 3 1\nkey 2 1\n' > "$dir/bad.txt"
if "$tool" make "$dir/bad.txt" "$dir/bad.ani" 2> "$dir/err"; then exit 1; fi
grep -q "line 5: key: frames must rise" "$dir/err"
printf 'scriptname Blink\ntop:\ntex 0\nwait 2 0\ntex 1\nwait 2 0\ngoto top\non 1\ntex 2\nend\n' > "$dir/blink.txt"
"$tool" tex-make "$dir/blink.txt" "$dir/blink.tap" | grep -q 'program "Blink", 15 code words'
test "$(wc -c < "$dir/BLINK.TAP")" -eq 474
"$tool" tex-info "$dir/blink.tap" | grep -q "code: 0 0 2 2 0 0 1 2 2 0 7 0 0 2 14"
"$tool" tex-info "$dir/blink.tap" | grep -q "on 1 at 12"
echo "anitool: ok"
