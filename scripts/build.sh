#!/usr/bin/env bash
# build.sh <dir> [cmake options...]: configures (once) and builds one tree.
set -euo pipefail
dir=$1; shift
top=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja -DZE_WERROR=ON "$@" >/dev/null
fi
cmake --build "$dir"
