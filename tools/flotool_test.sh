#!/bin/sh
# flotool from the command line: a universe's tree, a program checked and
# listed, errors inside included files named by file and line.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -p flow
fail() { echo "flotool_test: $*"; exit 1; }

cat > w.uni <<'UNI'
GBConfig high 6815744
BeginWorld Ocean
  GBName OceanPlanet planets\ocean
  BeginIsland Harbour
    BeginLevel Quay BUFFER SUBHIGH 3000000
      OnActivate QuayOn
      CanSee Market sky
    EndLevel
    BeginLevel Market
    EndLevel
  EndIsland
  Oops
EndWorld
UNI
"$tool" uni w.uni > out.txt 2> err.txt || fail "uni failed: $(cat err.txt)"
grep -q "^world Ocean .*planet OceanPlanet planets\\\\ocean" out.txt || fail "no world: $(cat out.txt)"
grep -q "^    level Quay .*buffer 6 size 3000000" out.txt || fail "no level: $(cat out.txt)"
grep -q "CanSee Market flags 0x20" out.txt || fail "no can-see: $(cat out.txt)"
grep -q "^w.uni:12: Unexpected \"Oops\" in file w.uni at line 11" err.txt || fail "no warning: $(cat err.txt)"

printf 'BeginWorld A\nEndWorld\n%.0s' 1 2 3 4 5 6 7 8 9 > nine.uni
if "$tool" uni nine.uni > out.txt 2> err.txt; then fail "nine worlds accepted"; fi
grep -q "^nine.uni:17: Too many worlds defined at 16 (max 8)" err.txt || fail "wrong error: $(cat err.txt)"

cat > main.flo <<'FLO'
AddSem s 0 1
Bogus word
#include flow\inc.flo
QuayOn: GoSub sub
Halt
FLO
cat > flow/inc.flo <<'FLO'
; included
sub: SignalSem s
Return
FLO
"$tool" check --uni w.uni main.flo > out.txt 2> err.txt || fail "check failed: $(cat err.txt)"
grep -q "^main.flo:2: Unknown gameflow command at line 1 - Bogus word" err.txt || fail "no sloppy warning: $(cat err.txt)"
grep -q "main.flo: 4 instructions, 2 labels, 2 semaphores" out.txt || fail "wrong summary: $(cat out.txt)"
"$tool" list main.flo > out.txt 2> err.txt || fail "list failed"
grep -q "^label sub 0" out.txt || fail "no label: $(cat out.txt)"
grep -q "^   0 flow/inc.flo:2 SignalSem 00000001" out.txt || fail "no instruction: $(cat out.txt)"
grep -q "^   2 main.flo:4 GoSub 00000000" out.txt || fail "no GoSub: $(cat out.txt)"

# An error inside an included file names that file and its line.
printf 'sub: SignalSem s\n\nWaitSem nosuch\n' > flow/inc.flo
if "$tool" check main.flo > out.txt 2> err.txt; then fail "unknown semaphore accepted"; fi
grep -q "^flow/inc.flo:3: Unable to find semaphore at line 2 - WaitSem nosuch" err.txt || fail "wrong error: $(cat err.txt)"
# The universe names a label the program lacks: a warning.
printf 'Halt\n' > bare.flo
"$tool" check --uni w.uni bare.flo > out.txt 2> err.txt || fail "check failed"
grep -q "label \"QuayOn\" named by Quay is not in the program" err.txt || fail "no label warning: $(cat err.txt)"
echo "flotool_test: ok"
