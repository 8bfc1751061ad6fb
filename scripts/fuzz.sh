#!/usr/bin/env bash
# fuzz.sh [seconds]: builds the fuzz targets (clang, libFuzzer, ASan and
# UBSan) in build-fuzz and runs each for the given time (default 60 s),
# starting from seeds made with the project's own tools and writers, after
# the target's kept cases (scripts/fuzz-cases/<target>/). A crash, a
# sanitizer report, a hang or an out-of-memory fails; a fatal error is a
# clean end.
set -euo pipefail
secs=${1:-60}
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$top/build-fuzz
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZE_FUZZ=ON >/dev/null
fi
# Each target and the directory of the code it fuzzes.
declare -A where=(
  [zearc_fuzz]=ze2/zecore [zeblk_fuzz]=ze2/zecore [rnc_fuzz]=ze2/zecore [zefpar_fuzz]=ze2/zecore
  [zedll_fuzz]=ze2/zecore [zetex_fuzz]=ze2/ze3d [zefont_fuzz]=ze2/ze3d [sndmodule_fuzz]=platform
  [ps2ctl_fuzz]=ze2/zeps2 [edfile_fuzz]=ze2/edtools)
targets=(zearc_fuzz zeblk_fuzz rnc_fuzz zefpar_fuzz zedll_fuzz zetex_fuzz zefont_fuzz sndmodule_fuzz ps2ctl_fuzz
         edfile_fuzz)
cmake --build "$dir" --target "${targets[@]}" zearc zepack textool vagtool zefontmake dll_testmod -- -j4

# Seeds: a small archive with packed and plain members, a packed file, a
# block tree and a text file.
seeds=$dir/seeds
rm -rf "$seeds"
mkdir -p "$seeds/tree/Data/Sub" "$seeds/work"
for t in "${targets[@]}"; do mkdir -p "$seeds/$t"; done
for i in $(seq 1 40); do echo "model $i uses texture tex$((i % 7)).pnt at 0.5, 1.25"; done > "$seeds/tree/Data/Sub/scene.txt"
printf 'plain' > "$seeds/tree/Data/one.bin"
printf '\x01\x02\x03\x04\x05\x06\x07\x08\x09' > "$seeds/tree/raw.bin"
"$dir/tools/zearc" build "$seeds/tree" "$seeds/zearc_fuzz/world.dat" --pack
"$dir/tools/zepack" pack "$seeds/tree/Data/Sub/scene.txt" "$seeds/rnc_fuzz/scene.rnc" >/dev/null
cp "$seeds/tree/Data/Sub/scene.txt" "$seeds/zefpar_fuzz/"
printf 'push\nw one "two three",4\nn 12abc 1.5\nmark\nc\n; comment\r\nback\npop\n' > "$seeds/zefpar_fuzz/cmds.txt"
# ROOT(48) holding KIDA(16, 4 bytes) and KIDB(-16) and 8 bytes of padding.
printf 'ROOT0\0\0\0KIDA\x10\0\0\0abcd\0\0\0\0KIDB\xf0\xff\xff\xff12345678\0\0\0\0\0\0\0\0' > "$seeds/zeblk_fuzz/tree.blk"

# Textures: native data of every type from textool (two option bytes
# first: the reader, then its option), BMP files of every bit count.
w=$seeds/work
sep=$'\n@@@@\n'
"$dir/tools/textool" pattern "$w/small.png" 16 8
"$dir/tools/textool" pattern "$w/large.png" 128 128
for t in 0 1 2 3 4 5 6 7; do
  if [ $t -ge 6 ]; then in=$w/large.png; lv=1; else in=$w/small.png; lv=2; fi
  "$dir/tools/textool" make "$in" "$w/t$t.pnt" --type=$t --levels=$lv >/dev/null
  { printf '\x03\x00'; cat "$w/t$t.pnt"; } > "$seeds/zetex_fuzz/native$t"
  { printf '\x05\x40'; cat "$w/t$t.pnt"; } > "$seeds/zetex_fuzz/file$t"
done
# Fonts: a font from zefontmake, its picture as native data, a colour file;
# one seed for each loader (files, a caller's buffer, memory).
"$dir/tools/zefontmake" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf 12 16 13 --fnt "$w/font"
"$dir/tools/textool" make "$w/font.bmp" "$w/font.pnt" --type=5 >/dev/null
printf 'col 255 0 0 128\n; a comment\ncol 0 255 0 255 7\ncol 1 2\n' > "$w/font.col"
for m in 0 1 2; do
  pic=$w/font.bmp; [ $m -eq 1 ] && pic=$w/font.pnt
  { printf "\\x0$m\\x40"; cat "$w/font.fnt"; printf '%s' "$sep"; cat "$pic"; printf '%s' "$sep"; cat "$w/font.col"; } \
    > "$seeds/zefont_fuzz/font$m"
done
# Sounds: a tone from vagtool, which the target's own packet seeds use.
"$dir/tools/vagtool" tone "$seeds/sndmodule_fuzz/tone.vag" 440 40 >/dev/null
# Modules: the test module, by the default name and by its own.
{ printf '\xfc'; cat "$dir/platform/dll_testmod.so"; } > "$seeds/zedll_fuzz/testmod"
{ printf '\xfcm.dll%s' "$sep"; cat "$dir/platform/dll_testmod.so"; } > "$seeds/zedll_fuzz/named"
# Seeds the targets write through the engine's own writers (pad
# recordings, editor files, command packets, small bitmaps).
for t in "${targets[@]}"; do
  (cd "$w" && "$dir/${where[$t]}/$t" -seeds="$seeds/$t" >/dev/null 2>&1)
done

status=0
fail() {
  echo "fuzz.sh: $1 FAILED (see $2)"
  tail -30 "$2"
  status=1
}
# run_target TARGET DIR [MAX_LEN]: the target's kept cases, then the fuzzer
# for the given time from its corpus and seeds.
run_target() {
  local t=$1 bin=$dir/$2/$1 maxlen=${3:-65536}
  local corpus=$dir/corpus/$t cases=$top/scripts/fuzz-cases/$t
  mkdir -p "$corpus"
  if [ -d "$cases" ]; then
    echo "fuzz.sh: $t: the kept cases"
    if ! (cd "$dir" && timeout 300 "$bin" -timeout=10 "$cases"/* > "$dir/$t.cases.log" 2>&1); then
      fail "$t (kept cases)" "$dir/$t.cases.log"
    fi
  fi
  echo "fuzz.sh: $t for ${secs}s"
  if ! (cd "$dir" && timeout $((secs * 2 + 120)) "$bin" -max_total_time="$secs" -max_len="$maxlen" -timeout=10 \
        -print_final_stats=0 "$corpus" "$seeds/$t" > "$dir/$t.log" 2>&1); then
    fail "$t" "$dir/$t.log"
  fi
}
for t in "${targets[@]}"; do run_target "$t" "${where[$t]}"; done

# Animation images and streams, compiled texture-animation programs
# (ze2/ze3d); seeds made with anitool. An animation input's first byte
# chooses its form: 0 a version 1 image, 1 version 2, 2 the stream form.
anim_targets=(zeanim_fuzz zetexanm_fuzz)
cmake --build "$dir" --target "${anim_targets[@]}" anitool -- -j4
mkdir -p "$seeds/anim" "$seeds/zeanim_fuzz" "$seeds/zetexanm_fuzz"
printf 'end 70\nnode a 0x0b\nchannel tx hermite\nkey 1 0\nkey 40 3\nchannel rx step\nkey 1 0\nkey 35 1\nchannel sy const 2\n' > "$seeds/anim/a.txt"
printf 'end 70\nnode a 0x0b\nchannel ty packed\nkey 1 0\nkey 50 2\nchannel rz boolean\nkey 1 0\nkey 9 1\nnode b 0\n' > "$seeds/anim/b.txt"
"$dir/tools/anitool" make "$seeds/anim/a.txt" "$seeds/anim/a1.ani" --v1 >/dev/null
"$dir/tools/anitool" make "$seeds/anim/a.txt" "$seeds/anim/a2.ani" >/dev/null
"$dir/tools/anitool" make "$seeds/anim/b.txt" "$seeds/anim/b2.ani" >/dev/null
{ printf '\0'; cat "$seeds/anim/a1.ani"; } > "$seeds/zeanim_fuzz/a1"
{ printf '\1'; cat "$seeds/anim/a2.ani"; } > "$seeds/zeanim_fuzz/a2"
{ printf '\1'; cat "$seeds/anim/b2.ani"; } > "$seeds/zeanim_fuzz/b2"
printf 'scriptname Blink\ntop:\ntex 0\nrepeat 2 1\ntexadj 1 0 7\nrepend\nwait 2 1\ngosub sub\nxref other\ngoto top\nsub:\nbtex < 3 top\nret\non 1\ntex 5\nend\noff 1\nxdef other\ntex 6\nend\n' > "$seeds/anim/blink.txt"
"$dir/tools/anitool" tex-make "$seeds/anim/blink.txt" "$seeds/zetexanm_fuzz/blink.tap" >/dev/null
for t in "${anim_targets[@]}"; do run_target "$t" ze2/ze3d; done

# The game's text loaders (game/): strings, a command file, the texture
# animation list; the first byte chooses. Seeds from the demo's sources.
cmake --build "$dir" --target game_fuzz -- -j4
mkdir -p "$seeds/game_fuzz"
{ printf '\0'; cat "$top/demo/strings.uk"; } > "$seeds/game_fuzz/strings"
{ printf '\1'; printf 'EDIT LEVEL caves\nLIVES 5 PICKUPS 2 40\nLEVMENU hometown "Home Town"\nCMDFILE CMD.TXT\n'; } > "$seeds/game_fuzz/cmd"
{ printf '\2'; printf 'a.tas\nflicker.tas'; } > "$seeds/game_fuzz/list"
run_target game_fuzz game
# The planet world's cube grid and planetary system (globular); seeds made
# with planettool. The first byte chooses the file: 0 cube.bin, 1 system.gb3.
planet_targets=(globular_fuzz)
cmake --build "$dir" --target "${planet_targets[@]}" planettool -- -j4
mkdir -p "$seeds/planet" "$seeds/globular_fuzz"
"$dir/tools/planettool" cube "$seeds/planet/cube3.bin" --levels=3
printf 'meshlevels 0\nplanet Terra\nposition 0 0 -40000\ndepth 2\nface 1 pattern 8\nplanet Luna\nradius 300\n' > "$seeds/planet/sys.txt"
"$dir/tools/planettool" system "$seeds/planet/sys.txt" "$seeds/planet/sys.gb3"
{ printf '\0'; cat "$seeds/planet/cube3.bin"; } > "$seeds/globular_fuzz/cube3"
{ printf '\1'; cat "$seeds/planet/sys.gb3"; } > "$seeds/globular_fuzz/sys"
for t in "${planet_targets[@]}"; do run_target "$t" globular; done

# The planet surface loaders (globular): the first byte chooses the file (0
# heights.gb3, 1 patches.gb3, 2 tex004.gb3, 3 tex032.gb3, 4 texndx.gb3) of a
# planet of plate depth 2; seeds cut from planettool surface's files.
cmake --build "$dir" --target frsurf_fuzz planettool -- -j4
mkdir -p "$seeds/surface" "$seeds/frsurf_fuzz"
printf 'planet Terra\nradius 11000\nheight 300\nsea 0.3\ndepth 4\n' > "$seeds/surface/sys.txt"
"$dir/tools/planettool" surface "$seeds/surface/sys.txt" Terra "$seeds/surface/terra"
{ printf '\0'; head -c 44544 "$seeds/surface/terra/HEIGHTS.GB3"; } > "$seeds/frsurf_fuzz/heights"
{ printf '\1'; head -c 119424 "$seeds/surface/terra/PATCHES.GB3"; } > "$seeds/frsurf_fuzz/patches"
{ printf '\2'; head -c 43008 "$seeds/surface/terra/TEX004.GB3"; } > "$seeds/frsurf_fuzz/patchblock"
{ printf '\3'; head -c 163840 "$seeds/surface/terra/TEX032.GB3"; } > "$seeds/frsurf_fuzz/tiles"
{ printf '\4'; cat "$seeds/surface/terra/TEXNDX.GB3"; } > "$seeds/frsurf_fuzz/texndx"
run_target frsurf_fuzz globular 200000

# Collision: the level loader (with crash data) and the pickup loader,
# seeded with tertool's demo files.
cmake --build "$dir" --target terrain_fuzz terrpick_fuzz tertool -- -j4
mkdir -p "$seeds/terrain_fuzz" "$seeds/terrpick_fuzz"
"$dir/tools/tertool" make "$top/demo/demo_level.txt" "$seeds/terrain_fuzz/demo.ter"
"$dir/tools/tertool" make "$top/demo/demo_pickups.txt" "$seeds/terrpick_fuzz/pickups.ter" --pickup
for t in terrain_fuzz terrpick_fuzz; do run_target "$t" ze2/gamelib; done

# Scene files (ze2/ze3d): seeds made with scenetool from a small description
# (textures, materials, meshes, sprites, instances, specials, splines).
scene_targets=(zegscn_fuzz)
cmake --build "$dir" --target "${scene_targets[@]}" scenetool -- -j4
mkdir -p "$seeds/scene" "$seeds/zegscn_fuzz"
printf 'texture t pattern 16 16\nmaterial m texture t vtxcol\nmaterial p vtxcol\nobject q mesh\n  geom m\n  grid 2 2 2\nend\nobject s sprites size 1\n  set p style 1\n  sprite 0 1 0 1 1 ffffffff\nend\ninstance q 0 0 0\nspecial Door\ninstance s 1 0 0 wind 100 200\nspline Path\n  point 0 0 0\n  point 1 0 0\nend\n' > "$seeds/scene/a.txt"
"$dir/tools/scenetool" make "$seeds/scene/a.txt" "$seeds/zegscn_fuzz/a.gsc" >/dev/null
"$dir/tools/scenetool" make "$seeds/scene/a.txt" "$seeds/zegscn_fuzz/b.gsc" --crossfade >/dev/null
for t in "${scene_targets[@]}"; do run_target "$t" ze2/ze3d; done

# Model memory images (ze2/ze3d): seeds made with modeltool from the demo
# model and from a small model with a texture animation and a collision sphere.
cmake --build "$dir" --target zehgobj_fuzz modeltool -- -j4
mkdir -p "$seeds/model" "$seeds/zehgobj_fuzz"
"$dir/tools/modeltool" make "$top/demo/demo_model.txt" "$seeds/zehgobj_fuzz/demo.ghg" >/dev/null
printf 'texture t pattern 8 8\nmaterial m vtxcol texture t\ntexanim x m p t t\njoint a - 0 1 0\njoint b a 1 0 0\nbox b m 1 1 1\npoint p b 0 1 0\nsphere a 0 0 0 1\n' > "$seeds/model/a.txt"
"$dir/tools/modeltool" make "$seeds/model/a.txt" "$seeds/zehgobj_fuzz/a.ghg" >/dev/null
run_target zehgobj_fuzz ze2/ze3d

# The universe file and the game-flow compiler, seeded from the demo's files
# (a program's files joined by zero bytes: the program, flow\labels.flo, a.flo).
flow_targets=(levcon_fuzz gameflow_fuzz)
cmake --build "$dir" --target "${flow_targets[@]}" -- -j4
mkdir -p "$seeds/levcon_fuzz" "$seeds/gameflow_fuzz"
cp "$top/demo/new.uni" "$seeds/levcon_fuzz/"
{ cat "$top/demo/torva.flo"; printf '\0'; cat "$top/demo/flow/labels.flo"; printf '\0'; } > "$seeds/gameflow_fuzz/torva.bin"
printf 'AddSem s 0 1\n#include a.flo\nx: WaitSemMulti s s\nIfSemLT s 2 x\nHalt\n\0\0#include a.flo\nGoSub x\nPop\nReturn\n' \
  > "$seeds/gameflow_fuzz/include.bin"
for t in "${flow_targets[@]}"; do run_target "$t" game 16384; done

# World dressing: the bridge and grass page loaders, seeded with the demo
# level's pages made by bridgetool and grasstool.
cmake --build "$dir" --target bridge_fuzz grass_fuzz bridgetool grasstool -- -j4
mkdir -p "$seeds/bridge_fuzz" "$seeds/grass_fuzz"
"$dir/tools/bridgetool" make "$top/demo/demo_bridges.txt" "$seeds/bridge_fuzz/demo.bri" >/dev/null
"$dir/tools/grasstool" make "$top/demo/demo_grass.txt" "$seeds/grass_fuzz/demo.gra" >/dev/null
for t in bridge_fuzz grass_fuzz; do run_target "$t" ze2/gamelib; done

# Effect files (ze2/gamelib): seeds the target writes through the engine's
# effect-file writer, and the demo's general and level pages made by
# ptltool. The first byte chooses the load's kind. (The target makes the
# particle texture the set-up loads, so that inputs reach the loader.)
cmake --build "$dir" --target ptlpage_fuzz ptltool -- -j4
mkdir -p "$seeds/ptlpage_fuzz"
(cd "$seeds/work" && "$dir/ze2/gamelib/ptlpage_fuzz" -seeds="$seeds/ptlpage_fuzz" >/dev/null 2>&1)
"$dir/tools/ptltool" make "$top/demo/particles.txt" "$seeds/work/particles.dat" >/dev/null
{ printf '\1'; cat "$seeds/work/particles.dat"; } > "$seeds/ptlpage_fuzz/demo"
"$dir/tools/ptltool" make "$top/demo/isletown_particles.txt" "$seeds/work/effects.dat" >/dev/null
{ printf '\1'; cat "$seeds/work/effects.dat"; } > "$seeds/ptlpage_fuzz/demolevel"
run_target ptlpage_fuzz ze2/gamelib

# Load-trigger files, seeded with a version 3 file written by ltdtool and a
# version 1 header.
cmake --build "$dir" --target loadtrig_fuzz ltdtool -- -j4
mkdir -p "$seeds/loadtrig_fuzz"
printf 'bound LEVEL a\n centre 1 0 1\n top 5\n actions LOAD HOLD\n point -2 -2\n point 2 -2\n point 0 2\nbound FLOWLABEL b\n actions VIEW\n point 0 0\n' \
  > "$seeds/loadtrig_fuzz/isle.txt"
"$dir/tools/ltdtool" make "$seeds/loadtrig_fuzz/isle.txt" "$seeds/loadtrig_fuzz/isle.ltd" >/dev/null
rm "$seeds/loadtrig_fuzz/isle.txt"
printf '\001\000\000\000\000\000\000\000\000\000\000\000' > "$seeds/loadtrig_fuzz/v1.ltd"
run_target loadtrig_fuzz game 8192

# Light sets (ze2/coblib): the set loader, seeded with the demo level's set
# and a small one made by lighttool.
cmake --build "$dir" --target coblight_fuzz lighttool -- -j4
mkdir -p "$seeds/coblight_fuzz"
"$dir/tools/lighttool" make "$top/demo/demo_lights.txt" "$seeds/coblight_fuzz/demo.lgt" >/dev/null
printf 'light flickershadow\n pos 1 0 1\n radius 6\n colour 200 100 50\n gradient 0 0 255\n flicker 4 20 16\nlight directional\n pos 0 -1 0\n colour 90 90 90\n' \
  > "$seeds/coblight_fuzz/small.txt"
"$dir/tools/lighttool" make "$seeds/coblight_fuzz/small.txt" "$seeds/coblight_fuzz/small.lgt" >/dev/null
rm "$seeds/coblight_fuzz/small.txt"
run_target coblight_fuzz ze2/coblib 12288

[ $status -eq 0 ] && echo "fuzz.sh: all targets ran clean"
exit $status
