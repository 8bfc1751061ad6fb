#!/bin/sh
# The tools from the command line: an archive built from a tree (packed
# members included) lists and extracts back to the same tree; a file packs
# and unpacks back to itself; bad arguments and bad input fail.
set -eu
zearc=$1
zepack=$2
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
mkdir -p "$t/src/Data/Levels" "$t/src/sys"
i=0
while [ $i -lt 400 ]; do echo "line $i of a level description, with words that repeat" ; i=$((i+1)); done > "$t/src/Data/Levels/level1.txt"
head -c 3000 /dev/urandom > "$t/src/sys/noise.bin"
printf 'x' > "$t/src/one.txt"
: > "$t/src/empty.dat"
"$zearc" build "$t/src" "$t/world.dat" --pack
"$zearc" list "$t/world.dat" > "$t/list.txt"
grep -q 'Data\\Levels\\level1.txt .* yes$' "$t/list.txt"
grep -q 'sys\\noise.bin .* no$' "$t/list.txt"
grep -q 'empty.dat' "$t/list.txt"
"$zearc" extract "$t/world.dat" "$t/out"
diff -r "$t/src" "$t/out"
"$zepack" pack "$t/src/Data/Levels/level1.txt" "$t/level1.rnc"
"$zepack" unpack "$t/level1.rnc" "$t/level1.txt"
cmp "$t/src/Data/Levels/level1.txt" "$t/level1.txt"
test "$(wc -c < "$t/level1.rnc")" -lt "$(wc -c < "$t/level1.txt")"
if "$zearc" bogus 2>/dev/null; then exit 1; fi
if "$zepack" unpack "$t/src/one.txt" "$t/x" 2>/dev/null; then exit 1; fi
head -c 100 "$t/world.dat" > "$t/cut.dat"
if "$zearc" list "$t/cut.dat" 2>/dev/null; then exit 1; fi
echo "tools: ok"
