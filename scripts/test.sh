#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$top/scripts/setup.sh" --test
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$top/build" && ctest --output-on-failure -j "$jobs")
"$top/scripts/build.sh" "$top/build-san" -DCMAKE_BUILD_TYPE=Debug -DZE_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$top/build-san" && ctest --output-on-failure -j "$jobs")
# The fuzz targets, briefly (clang, libFuzzer): bad input must end cleanly.
"$top/scripts/fuzz.sh" 10
echo "test.sh: all tests passed (normal and sanitizer builds, fuzz targets)"
