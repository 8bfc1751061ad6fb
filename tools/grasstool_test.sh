#!/bin/sh
# grasstool from the command line: one description written as versions 1,
# 4, 6, 7 and 8 and listed back through the engine's loader; the defaults of
# the older versions; a bad version refused.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
for v in 1 4 6 7 8 9; do
cat > g$v.txt <<END
version $v
; a tuft of reeds, a fading ring of stones, individually placed flowers
clump REEDS 20 4 0 4 radius 2 sway 0.4 group 3 sway2 0.9 dist 2 size 2 seed 77 min 0.5 max 1.5 angy 4096 near 12 far 30
clump STONES 9 -5 0 2 radius 3 kind 2 dist 4 size 3 follow 0 tilt 0 hoff 0.1
clump FLOWER 2 0 0 -6 kind 3
blade 0.5 0 0.5 0.25 0 16384
END
"$tool" make g$v.txt g$v.gra
done
for v in 1 4 6 7 8; do "$tool" info g$v.gra > i$v.txt; done
cat i8.txt
grep -q "^clump 0: REEDS, 20 blades at 4 0 4, radius 2, kind 1, distribution 2, size mode 2" i8.txt
grep -q "sway 0.4 0.9, group 3, seed 77, sizes 0.5..1.5, angles 0 4096, ranges 12 30, terrain 0 0 0" i8.txt
grep -q "^clump 1: STONES, 9 blades at -5 0 2, radius 3, kind 2, distribution 4, size mode 3" i8.txt
grep -q "first blade at -8.0000 0.0000 -1.0000" i8.txt          # the grid corner (the offset only with follow)
grep -q "^clump 2: FLOWER, 4 blades" i8.txt                     # count 2 stored as 4
grep -q "g8.gra: page 0, 3 clumps, 33 blades handed on, 1 wind and 2 fade groups" i8.txt
# Version 1: no group, sizes or kinds: three wind clumps with the defaults.
grep -q "sway 0.4 1, group 1, seed 0, sizes 0.2..1.7625, angles 0 0, ranges 20 20, terrain 0 0 0" i1.txt
grep -q "3 wind and 0 fade groups" i1.txt
grep -q "kind 1, distribution 1, size mode 1" i4.txt
# Version 6: kinds, no terrain fields: a kind-2 clump follows the terrain.
grep -q "ranges 15 25, terrain 1 1 0.05" i6.txt
grep -q "ranges 15 25, terrain 0 0 0.1" i7.txt
if "$tool" info g9.gra 2> err.txt; then echo "version 9 was read"; exit 1; fi
grep -q "refused" err.txt
echo "grasstool: ok"
