#!/usr/bin/env bash
# Sets up, builds and runs the game on the disc the data build lays out
# (build/disc). Extra arguments go to the program (for example
# --clock=virtual, --frames=N, --args="LEVEL hometown").
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$top/build/game/torva" --cdrom0="$top/build/disc" "$@"
