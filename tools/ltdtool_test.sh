#!/bin/sh
# ltdtool from the command line: a description written as version 3 and
# listed back through the game's reader (names resolved against a universe),
# two runs giving the same bytes, a bad description and a damaged file.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail() { echo "ltdtool_test: $*"; exit 1; }

cat > w.uni <<'UNI'
BeginWorld demo
  BeginIsland isle
    BeginLevel hometown
    EndLevel
    BeginLevel demo2
    EndLevel
  EndIsland
EndWorld
UNI
cat > isle.txt <<'DESC'
; the town, then the preload ring around the start
bound LEVEL hometown
  centre 0 0 0
  top 50
  actions LOAD HOLD
  priority 100
  point -20 -20
  point 20 -20
  point 20 20
  point -20 20
bound LEVEL demo2
  centre 10 0 0
  top 40
  bottom -5
  actions PRELOAD
  inhibit CRAFT GLIDER
  point 0 0
  point 5 0
  point 0 5
DESC
"$tool" make isle.txt isle.ltd > out.txt 2> err.txt || fail "make failed: $(cat err.txt)"
grep -q "2 bounds, 7 points" out.txt || fail "make said: $(cat out.txt)"
f=$(ls | grep -i '^isle.ltd$')
cp "$f" first.ltd
"$tool" make isle.txt isle.ltd > /dev/null
cmp -s first.ltd "$f" || fail "two runs differ"
"$tool" list --uni w.uni "$f" > list.txt 2> err.txt || fail "list failed: $(cat err.txt)"
grep -q "^version 3 points 7" list.txt || fail "no header: $(cat list.txt)"
# Read back, the list runs in reverse file order.
head -2 list.txt | tail -1 | grep -q "^bound LEVEL demo2 index 1 priority 128 actions PRELOAD inhibit CRAFT GLIDER" \
  || fail "demo2 bound: $(cat list.txt)"
grep -q "^bound LEVEL hometown index 0 priority 100 actions LOAD HOLD inhibit$" list.txt || fail "hometown: $(cat list.txt)"
grep -q "centre 0 0 0 top 50 bottom -50 radius 28.28" list.txt || fail "radius: $(cat list.txt)"
# Without the universe the names cannot be associated.
"$tool" list "$f" | grep -q "^bound LEVEL - index -1" || fail "unresolved names"

printf 'bound LEVEL a\n  priority 300\n' > bad.txt
if "$tool" make bad.txt bad.ltd 2> err.txt; then fail "bad priority accepted"; fi
grep -q "bad.txt:2: priority needs 0-255" err.txt || fail "bad priority: $(cat err.txt)"
printf '\003\000\000\000\377\377\000\000' > damaged.ltd
if "$tool" list damaged.ltd > /dev/null 2> err.txt; then fail "damaged file accepted"; fi
grep -q "Trigger Data file damaged.ltd is damaged" err.txt || fail "damaged: $(cat err.txt)"
echo "ltdtool_test: ok"
