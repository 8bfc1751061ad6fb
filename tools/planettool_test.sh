#!/bin/sh
# planettool from the command line: cube and system twice give the same
# bytes, and info lists both as the engine loads them.
set -e
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" cube a.bin
"$tool" cube b.bin
cmp a.bin b.bin
"$tool" info a.bin > cube.txt
grep -q "^cube: 5 levels" cube.txt
grep -q "^level 4: 1536 plates" cube.txt
cat > sys.txt <<'DESC'
; two planets
meshlevels 2
planet Terra
position 0 0 -40000
day 24
height 300
radius 11000
sea 0.4
depth 4
face 0 pattern 16
face 3 pattern 32
planet Luna
position 30000 0 0
radius 3000
depth 3
DESC
"$tool" system sys.txt s1.gb3
"$tool" system sys.txt s2.gb3
cmp s1.gb3 s2.gb3
"$tool" info s1.gb3 > sys.out
grep -q '^system: 2 planets' sys.out
grep -q '^planet 0 "Terra" at (0, 0, -40000) day 24 height 300 radius 11000 sea 0.4 depth 4' sys.out
grep -q '^  face 3 texture 32x32' sys.out
test "$(grep -c '^mesh node' sys.out)" -eq 6
if "$tool" system missing.txt x.gb3 2>/dev/null; then exit 1; fi
echo ok
