#!/usr/bin/env bash
# setup.sh [--test]: installs the Debian packages the build needs, when they
# are missing; with --test also those only the tests use.
set -euo pipefail
# The build (the test and benchmark libraries included: the build makes
# the tests too).
packages=(cmake ninja-build g++ pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev libsdl2-dev
          zlib1g-dev fonts-dejavu-core libfreetype-dev)
# The pictures and sounds the tools read and write: PNG, JPEG (libjpeg-turbo),
# and WAV, FLAC and Ogg Vorbis with resampling.
packages+=(libpng-dev libjpeg-dev libsndfile1-dev libsamplerate0-dev)
# glTF 2.0 scenes read by the scene tool.
packages+=(libtinygltf-dev)
# Mesa's llvmpipe through OSMesa: the fill-rate peer of bench/gs_bench.
packages+=(libosmesa6-dev)
if [ "${1:-}" = "--test" ]; then
  # A display server for the window tests, clang and libFuzzer for the fuzz
  # targets, and a standard decoder for the screen-capture tests (AVI
  # through GStreamer).
  packages+=(xvfb xauth clang libclang-rt-dev)
  packages+=(gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
elif [ $# -gt 0 ]; then
  echo "usage: setup.sh [--test]" >&2
  exit 2
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
