#!/usr/bin/env bash
# Sets up the machine, builds both architectures and runs every test under Wine.
set -euo pipefail
source "$(dirname "$0")/prologue.sh"
# Every C++ file as .clang-format has it; a file that differs fails the run, with the places.
echo "format: checking the C++ files of src, tests, bench and tools"
if ! find src tests bench tools \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 clang-format --dry-run -Werror; then
  echo "format: the places above differ from .clang-format (clang-format -i FILE fixes one)" >&2
  exit 1
fi
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j"$(nproc)"
if [ "$arch" != i686 ]; then
  cmake --preset mingw-x86_64 >/dev/null
  cmake --build --preset mingw-x86_64 -j"$(nproc)"
fi
build="$root/build/mingw-$arch"
echo "tests: running the $arch build under Wine"
exec tools/with-display.sh ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
