#!/usr/bin/env bash
# Sets up, builds and runs the program. Extra arguments go to the program
# (for example --clock=virtual, --frames=N).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$top/build/game/torva" "$@"
