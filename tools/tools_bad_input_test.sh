#!/bin/sh
# Every tool on bad input: no arguments, a missing, empty, random or
# truncated input, an output in a missing folder or under a regular file.
# Each case must end with status 1 (usage: 1 or 2) and a message on stderr
# naming the file, and leave nothing behind in its directory; a good run
# writes its output under the name given and nothing else.
#   tools_bad_input_test.sh TOOLDIR DEMODIR
set -u
bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT

# The tools: name | a good run writing @OUT (@SRC: the demo sources) | its
# output's extension | commands reading @IN, one per ';' | a good input for
# them when there is no good run.
rows="anitool|make @SRC/demo_anim.txt @OUT|ani|info @IN;eval @IN 1
bridgetool|make @SRC/demo_bridges.txt @OUT|bri|info @IN
grasstool|make @SRC/demo_grass.txt @OUT|gra|info @IN
lighttool|make @SRC/demo_lights.txt @OUT|lgt|list @IN
ltdtool|make @SRC/isle.txt @OUT|ltd|list @IN
modeltool|make @SRC/demo_model.txt @OUT|ghg|info @IN
planettool|system @SRC/planet.txt @OUT|gb3|info @IN
ptltool|make @SRC/particles.txt @OUT|dat|show @IN
scenetool|gsc0 @SRC/demo_scene.txt @OUT|gsc0|convert @IN out.gsc
tertool|make @SRC/demo_level.txt @OUT|ter|info @IN
textool|pattern @OUT 16 16|png|make @IN out.pnt
vagtool|tone @OUT 440 100|vag|info @IN;decode @IN out.wav
zearc|build @SRC @OUT|dat|list @IN;extract @IN outdir
zepack|pack @SRC/new.uni @OUT|rnc|unpack @IN out.bin
zefontmake|/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf 10 12 10 --fnt @OUT|fnt|@IN 10 12 10 --fnt out
flotool|||uni @IN|@SRC/new.uni
flotool|||check @IN;list @IN|@SRC/torva.flo
zerandtab|@OUT|dat|
zeptldraw|@OUT|png|"

# Cases still open: reported as OPEN, not failed.
open_cases=""

sub() { printf '%s' "$1" | sed -e "s|@SRC|$src|g" -e "s|@OUT|$2|g" -e "s|@IN|$3|g"; }

# check NAME TOOL EXPECT_LISTING NEEDLE ARGS...: runs the tool in the case's
# directory $d; the status must be 1 (2 allowed with "usage"), stderr must
# hold NEEDLE, and the directory must list EXPECT_LISTING afterwards.
check() {
  name=$1 tool=$2 listing=$3 needle=$4
  shift 4
  (cd "$d" && "$bin/$tool" "$@" >"$t/out" 2>"$t/err")
  rc=$?
  now=$(cd "$d" && find . -mindepth 1 | sort | tr '\n' ' ')
  why=""
  if [ $rc -ne 1 ] && ! { [ $rc -eq 2 ] && grep -q usage "$t/err"; }; then why="status $rc"; fi
  if ! grep -qF -- "$needle" "$t/err"; then why="$why, no message naming \"$needle\""; fi
  if [ "$now" != "$listing" ]; then why="$why, left [$now] not [$listing]"; fi
  if [ -z "$why" ]; then
    printf '%-11s %-34s ok: %s\n' "$tool" "$name" "$(head -n 1 "$t/err")"
  elif echo "|$open_cases|" | grep -qF "|$tool $name|"; then
    printf '%-11s %-34s OPEN: %s\n' "$tool" "$name" "$why"
  else
    printf '%-11s %-34s FAIL: %s\n' "$tool" "$name" "$why"
    sed 's/^/    /' "$t/err" | head -n 5
    echo x >> "$t/failed"
  fi
}

# Random bytes, the same every run.
awk 'BEGIN { srand(7); for (i = 0; i < 4096; i++) printf "%c", int(rand() * 255) + 1 }' > "$t/random.bin"

echo "$rows" | while IFS='|' read -r tool make ext reads given; do
  d=$t/$tool
  mkdir -p "$d"
  check "no arguments" "$tool" "" "usage"
  # A good run first: its output under the name given, nothing else.
  good=""
  if [ -n "$make" ]; then
    rm -rf "$d"/*
    # shellcheck disable=SC2046
    (cd "$d" && "$bin/$tool" $(sub "$make" "good.$ext" "") >/dev/null 2>"$t/err")
    rc=$?
    now=$(cd "$d" && find . -mindepth 1 | sort | tr '\n' ' ')
    want="./good.$ext "
    [ "$tool" = zefontmake ] && want="./good.fnt.bmp ./good.fnt.fnt "  # OUT names both files
    if [ $rc -ne 0 ] || [ "$now" != "$want" ]; then
      if echo "|$open_cases|" | grep -qF "|$tool good run|"; then
        printf '%-11s %-34s OPEN: status %d, left [%s]\n' "$tool" "good run" $rc "$now"
      else
      printf '%-11s %-34s FAIL: status %d, left [%s]\n' "$tool" "good run" $rc "$now"
      echo x >> "$t/failed"
      fi
      mv "$d"/* "$t/" 2>/dev/null
      mv "$t/$(echo "good.$ext" | tr a-z A-Z)" "$d/good.$ext" 2>/dev/null
    else
      printf '%-11s %-34s ok\n' "$tool" "good run"
    fi
    good=$t/good.$tool.$ext
    mv "$d/good.$ext" "$good" 2>/dev/null
    rm -rf "$d"/*
    # The output in a missing folder, and under a regular file.
    # shellcheck disable=SC2046
    check "output in a missing folder" "$tool" "" "nodir/out.$ext" $(sub "$make" "nodir/out.$ext" "")
    : > "$d/afile"
    # shellcheck disable=SC2046
    check "output under a regular file" "$tool" "./afile " "afile/out.$ext" $(sub "$make" "afile/out.$ext" "")
    rm -rf "$d"/*
  fi
  [ -n "$given" ] && good=$(sub "$given" "" "")
  # A file named like an option is not written.
  if [ "$tool" = zerandtab ] || [ "$tool" = zeptldraw ]; then check "--help" "$tool" "" "usage" --help; fi
  [ -z "$reads" ] && continue
  echo "$reads" | tr ';' '\n' | while read -r cmd; do
    verb=${cmd%% *}
    [ "$tool" = zefontmake ] && verb=read
    ext2=${ext:-txt}
    check "$verb: missing input" "$tool" "" "missing.$ext2" $(sub "$cmd" "" "missing.$ext2")
    : > "$d/empty.$ext2"
    check "$verb: empty input" "$tool" "./empty.$ext2 " "empty.$ext2" $(sub "$cmd" "" "empty.$ext2")
    rm -rf "$d"/*
    cp "$t/random.bin" "$d/random.$ext2"
    check "$verb: random input" "$tool" "./random.$ext2 " "random.$ext2" $(sub "$cmd" "" "random.$ext2")
    rm -rf "$d"/*
    # A text cut at a line's end is still text (flotool reads text).
    if [ -f "$good" ] && [ "$tool" != flotool ]; then
      size=$(wc -c < "$good")
      head -c $((size * 2 / 3)) "$good" > "$d/cut.$ext2"
      check "$verb: truncated input" "$tool" "./cut.$ext2 " "cut.$ext2" $(sub "$cmd" "" "cut.$ext2")
      rm -rf "$d"/*
    fi
  done
done
if [ -f "$t/failed" ]; then
  echo "tools on bad input: $(wc -l < "$t/failed") failures"
  exit 1
fi
echo "tools on bad input: ok"
