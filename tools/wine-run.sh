#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix kept in the build tree.
# The prefix is made once per build tree; concurrent test processes wait for it.
# LUMIVOX_WINEPREFIX names another prefix instead (a test that needs a Wine session of its
# own), and LUMIVOX_WINE_DPI the display scaling that a new prefix gets (96 when unset).
set -euo pipefail
exe=$1; shift
build_dir=${LUMIVOX_BUILD_DIR:-}
if [ -z "$build_dir" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  build_dir=$dir
fi
export WINEPREFIX="${LUMIVOX_WINEPREFIX:-$build_dir/wineprefix}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -x /usr/lib/wine/wine64 ] && file -b "$exe" | grep -q 'x86-64'; then
  wine=/usr/lib/wine/wine64
else
  wine=wine
fi
"$(dirname "$0")/wine-prefix.sh" "$wine"
exec "$wine" "$exe" "$@"
