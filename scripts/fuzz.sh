#!/usr/bin/env bash
# fuzz.sh [seconds]: builds the fuzz targets (clang, libFuzzer, ASan and
# UBSan) in build-fuzz and runs each for the given time (default 60 s),
# starting from seeds made with the project's own tools. A crash, a leak
# of a sanitizer's kind or a hang fails; a fatal error is a clean end.
set -euo pipefail
secs=${1:-60}
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$top/build-fuzz
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZE_FUZZ=ON >/dev/null
fi
targets=(zearc_fuzz zeblk_fuzz rnc_fuzz zefpar_fuzz)
cmake --build "$dir" --target "${targets[@]}" zearc zepack -- -j4

# Seeds: a small archive with packed and plain members, a packed file, a
# block tree and a text file.
seeds=$dir/seeds
rm -rf "$seeds"
mkdir -p "$seeds/tree/Data/Sub" "$seeds/zearc_fuzz" "$seeds/zeblk_fuzz" "$seeds/rnc_fuzz" "$seeds/zefpar_fuzz"
for i in $(seq 1 40); do echo "model $i uses texture tex$((i % 7)).pnt at 0.5, 1.25"; done > "$seeds/tree/Data/Sub/scene.txt"
printf 'plain' > "$seeds/tree/Data/one.bin"
printf '\x01\x02\x03\x04\x05\x06\x07\x08\x09' > "$seeds/tree/raw.bin"
"$dir/tools/zearc" build "$seeds/tree" "$seeds/zearc_fuzz/world.dat" --pack
"$dir/tools/zepack" pack "$seeds/tree/Data/Sub/scene.txt" "$seeds/rnc_fuzz/scene.rnc" >/dev/null
cp "$seeds/tree/Data/Sub/scene.txt" "$seeds/zefpar_fuzz/"
printf 'push\nw one "two three",4\nn 12abc 1.5\nmark\nc\n; comment\r\nback\npop\n' > "$seeds/zefpar_fuzz/cmds.txt"
# ROOT(48) holding KIDA(16, 4 bytes) and KIDB(-16) and 8 bytes of padding.
printf 'ROOT0\0\0\0KIDA\x10\0\0\0abcd\0\0\0\0KIDB\xf0\xff\xff\xff12345678\0\0\0\0\0\0\0\0' > "$seeds/zeblk_fuzz/tree.blk"

status=0
for t in "${targets[@]}"; do
  corpus=$dir/corpus/$t
  mkdir -p "$corpus"
  echo "fuzz.sh: $t for ${secs}s"
  if ! (cd "$dir" && "$dir/ze2/zecore/$t" -max_total_time="$secs" -max_len=65536 -timeout=10 \
        -print_final_stats=0 "$corpus" "$seeds/$t" > "$dir/$t.log" 2>&1); then
    echo "fuzz.sh: $t FAILED (see $dir/$t.log)"
    tail -30 "$dir/$t.log"
    status=1
  fi
done

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
for t in "${anim_targets[@]}"; do
  corpus=$dir/corpus/$t
  mkdir -p "$corpus"
  echo "fuzz.sh: $t for ${secs}s"
  if ! (cd "$dir" && "$dir/ze2/ze3d/$t" -max_total_time="$secs" -max_len=65536 -timeout=10 \
        -print_final_stats=0 "$corpus" "$seeds/$t" > "$dir/$t.log" 2>&1); then
    echo "fuzz.sh: $t FAILED (see $dir/$t.log)"
    tail -30 "$dir/$t.log"
    status=1
  fi
done

# The game's text loaders (game/): strings, a command file, the texture
# animation list; the first byte chooses. Seeds from the demo's sources.
cmake --build "$dir" --target game_fuzz -- -j4
mkdir -p "$seeds/game_fuzz"
{ printf '\0'; cat "$top/demo/strings.uk"; } > "$seeds/game_fuzz/strings"
{ printf '\1'; printf 'EDIT LEVEL caves\nLIVES 5 PICKUPS 2 40\nLEVMENU hometown "Home Town"\nCMDFILE CMD.TXT\n'; } > "$seeds/game_fuzz/cmd"
{ printf '\2'; printf 'a.tas\nflicker.tas'; } > "$seeds/game_fuzz/list"
corpus=$dir/corpus/game_fuzz
mkdir -p "$corpus"
echo "fuzz.sh: game_fuzz for ${secs}s"
if ! (cd "$dir" && "$dir/game/game_fuzz" -max_total_time="$secs" -max_len=65536 -timeout=10 \
      -print_final_stats=0 "$corpus" "$seeds/game_fuzz" > "$dir/game_fuzz.log" 2>&1); then
  echo "fuzz.sh: game_fuzz FAILED (see $dir/game_fuzz.log)"
  tail -30 "$dir/game_fuzz.log"
  status=1
fi
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
for t in "${planet_targets[@]}"; do
  corpus=$dir/corpus/$t
  mkdir -p "$corpus"
  echo "fuzz.sh: $t for ${secs}s"
  if ! (cd "$dir" && "$dir/globular/$t" -max_total_time="$secs" -max_len=65536 -timeout=10 \
# Collision: the level loader (with crash data) and the pickup loader,
# seeded with tertool's demo files.
cmake --build "$dir" --target terrain_fuzz terrpick_fuzz tertool -- -j4
mkdir -p "$seeds/terrain_fuzz" "$seeds/terrpick_fuzz"
"$dir/tools/tertool" make "$top/demo/demo_level.txt" "$seeds/terrain_fuzz/demo.ter"
"$dir/tools/tertool" make "$top/demo/demo_pickups.txt" "$seeds/terrpick_fuzz/pickups.ter" --pickup
for t in terrain_fuzz terrpick_fuzz; do
  corpus=$dir/corpus/$t
  mkdir -p "$corpus"
  echo "fuzz.sh: $t for ${secs}s"
  if ! (cd "$dir" && "$dir/ze2/gamelib/$t" -max_total_time="$secs" -max_len=65536 -timeout=10 \
        -print_final_stats=0 "$corpus" "$seeds/$t" > "$dir/$t.log" 2>&1); then
    echo "fuzz.sh: $t FAILED (see $dir/$t.log)"
    tail -30 "$dir/$t.log"
    status=1
  fi
done

# World dressing: the bridge and grass page loaders, seeded with the demo
# level's pages made by bridgetool and grasstool.
cmake --build "$dir" --target bridge_fuzz grass_fuzz bridgetool grasstool -- -j4
mkdir -p "$seeds/bridge_fuzz" "$seeds/grass_fuzz"
"$dir/tools/bridgetool" make "$top/demo/demo_bridges.txt" "$seeds/bridge_fuzz/demo.bri" >/dev/null
"$dir/tools/grasstool" make "$top/demo/demo_grass.txt" "$seeds/grass_fuzz/demo.gra" >/dev/null
for t in bridge_fuzz grass_fuzz; do
  corpus=$dir/corpus/$t
  mkdir -p "$corpus"
  echo "fuzz.sh: $t for ${secs}s"
  if ! (cd "$dir" && "$dir/ze2/gamelib/$t" -max_total_time="$secs" -max_len=65536 -timeout=10 \
        -print_final_stats=0 "$corpus" "$seeds/$t" > "$dir/$t.log" 2>&1); then
    echo "fuzz.sh: $t FAILED (see $dir/$t.log)"
    tail -30 "$dir/$t.log"
    status=1
  fi
done

[ $status -eq 0 ] && echo "fuzz.sh: all targets ran clean"
exit $status
