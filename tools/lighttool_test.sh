#!/bin/sh
# lighttool from the command line: a description written as a light set of
# exactly 10240 bytes and listed back through the engine's loader, two runs
# giving the same bytes, bad descriptions and a short file.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail() { echo "lighttool_test: $*"; exit 1; }

cat > a.txt <<'DESC'
; a lamp, a fire and the inside light
light point
  pos 1 2 3
  radius 5
  colour 10 20 30
  group 4
light FlickerShadow
  pos -1 0 0.5
  radius 6
  colour 200 100 50
  gradient 255 255 0
  flicker 4 20 16
  level 128
  count -3
light directional
  pos 0 -1 0
  colour 90 90 90
DESC
"$tool" make a.txt level.lgt > make.out || fail "make failed"
grep -q "3 lights, 253 free" make.out || fail "make summary: $(cat make.out)"
[ "$(wc -c < level.lgt)" -eq 10240 ] || fail "size $(wc -c < level.lgt)"
# Record 3 onward are free: type byte 0xff.
[ "$(od -An -tx1 -j120 -N1 level.lgt | tr -d ' ')" = "ff" ] || fail "record 3 not free"
[ "$(od -An -tx1 -j10200 -N1 level.lgt | tr -d ' ')" = "ff" ] || fail "last record not free"
"$tool" make a.txt again.lgt > /dev/null
cmp -s level.lgt again.lgt || fail "two runs differ"
"$tool" list level.lgt > list.out || fail "list failed"
grep -q "entry 2 point group 4 radius 5 pos 1 2 3 colour 10 20 30" list.out || fail "point: $(cat list.out)"
grep -q "entry 3 flickershadow group 0 radius 6 pos -1 0 0.5 colour 200 100 50 gradient 255 255 0 flicker 4 20 16 level 128 count -3" list.out \
  || fail "flicker: $(cat list.out)"
grep -q "inside directional group 0 radius 0 pos 0 -1 0 colour 90 90 90" list.out || fail "inside: $(cat list.out)"
grep -q "set key 0: 3 lights" list.out || fail "summary: $(cat list.out)"

# Bad descriptions: the line and the reason.
printf 'light lamp\n' > b1.txt
printf 'pos 1 2 3\n' > b2.txt
printf 'light point\n colour 1 2 300\n' > b3.txt
printf 'light point\n radius\n' > b4.txt
for b in b1 b2 b3 b4; do
  if "$tool" make $b.txt $b.lgt 2> $b.err; then fail "$b accepted"; fi
done
grep -q "b1.txt:1: unknown light type" b1.err || fail "b1: $(cat b1.err)"
grep -q "b2.txt:1: command before the first light" b2.err || fail "b2: $(cat b2.err)"
grep -q "b3.txt:2: colour needs r g b of 0-255" b3.err || fail "b3: $(cat b3.err)"
grep -q "b4.txt:2: radius needs" b4.err || fail "b4: $(cat b4.err)"
# Too many lights.
i=0; : > many.txt
while [ $i -lt 257 ]; do echo "light point" >> many.txt; i=$((i + 1)); done
if "$tool" make many.txt many.lgt 2> many.err; then fail "257 lights accepted"; fi
grep -q "many.txt:257: more than 256 lights" many.err || fail "many: $(cat many.err)"

# A short or empty file is not a light set the writer made.
head -c 60 level.lgt > short.lgt
if "$tool" list short.lgt 2> short.err; then fail "short accepted"; fi
grep -q "short.lgt: is 60 bytes, not the 10240 of a light set" short.err || fail "short: $(cat short.err)"
: > empty.lgt
if "$tool" list empty.lgt 2> empty.err; then fail "empty accepted"; fi
grep -q "empty.lgt: is 0 bytes" empty.err || fail "empty: $(cat empty.err)"
echo "lighttool_test: ok"
