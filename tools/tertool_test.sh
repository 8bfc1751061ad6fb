#!/bin/sh
# tertool from the command line: a description made into a collision file
# and listed back through the engine's loader; a pickup set; refusals.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
cat > lev.txt <<'END'
; ground of two coplanar triangles (one quad), a step, a wall spline
static
surface 3
tri 0 0 0  8 0 0  0 0 8
tri 8 0 8  0 0 8  8 0 0
box 2 0 2 3 0.25 3
static
quad 40 0 0  48 0 0  40 0 8  48 0 8
platform 1 turn
quad -1 0 -1  1 0 -1  -1 0 1  1 0 1
platform 9
quad -1 0 -1  1 0 -1  -1 0 1  1 0 1
spline 0 20  100 20
crash 2
sphere 1  0 1 0  0.5
cube 3  -1 0 -1  1 2 1
cylinder 0  0 0 0  2 0.5
END
"$tool" make lev.txt lev.ter
"$tool" info lev.ter --instances=4 > info.txt
cat info.txt
grep -q "^item 0: static at 4 0 4, 7 polygons in 2 groups" info.txt   # 2 triangles merged into a quad + 6 box faces
grep -q "platform at 0 0 0, 1 polygons in 1 groups, instance 0, scene instance 1, turning" info.txt
grep -q "platform (unbound)" info.txt
grep -q "^wall spline: 4 segments" info.txt    # 100 units in pieces of at most 32
grep -q "^crash: scene instance 2, 3 shapes" info.txt
grep -q "lev.ter: 4 items, 10 polygons, 1 platforms, 2 grid buckets, 1 wall splines, flags 0" info.txt

cat > pick.txt <<'END'
shape 5
box -0.5 0 -0.5 0.5 1 0.5
shape 127
quad -1 0 -1  1 0 -1  -1 0 1  1 0 1
END
"$tool" make pick.txt pickups.ter --pickup
"$tool" info pickups.ter --pickup | tee pinfo.txt
grep -q "pickup set, 2 shapes" pinfo.txt
grep -q "^shape 127: item 1, 1 polygons" pinfo.txt

printf 'static\ntri 0 0 0 0 0 0 1 0 0\n' > bad.txt
if "$tool" make bad.txt bad.ter 2>err.txt; then exit 1; fi
grep -q "degenerate polygon" err.txt
printf 'shape 200\n' > bad.txt
if "$tool" make bad.txt bad.ter --pickup 2>err.txt; then exit 1; fi
grep -q "cannot read" err.txt
if "$tool" make pick.txt bad.ter 2>/dev/null; then exit 1; fi
echo "tertool: all checks passed"
