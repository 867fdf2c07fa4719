#!/usr/bin/env bash
# Sets up the machine, builds both architectures and runs every test under Wine.
set -euo pipefail
source "$(dirname "$0")/prologue.sh"
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j"$(nproc)"
if [ "$arch" != i686 ]; then
  cmake --preset mingw-x86_64 >/dev/null
  cmake --build --preset mingw-x86_64 -j"$(nproc)"
fi
build="$root/build/mingw-$arch"
echo "tests: running the $arch build under Wine"
exec tools/with-display.sh ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
