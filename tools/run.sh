#!/usr/bin/env bash
# Sets up the machine, builds the programs and starts ttsclient.exe under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/bootstrap.sh
arch=$(tools/test-arch.sh)
cmake --preset "mingw-$arch" >/dev/null
cmake --build --preset "mingw-$arch" -j"$(nproc)"
exe="$root/build/mingw-$arch/src/client/ttsclient.exe"
if [ ! -f "$exe" ]; then
  echo "ttsclient.exe is not built yet"
  exit 0
fi
exec tools/wine-run.sh "$exe"
