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
# A caller's own overrides come after these.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
if [ -x /usr/lib/wine/wine64 ] && file -b "$exe" | grep -q 'x86-64'; then
  wine=/usr/lib/wine/wine64
else
  wine=wine
fi
# shellcheck source=sound-output.sh
source "$(dirname "$0")/sound-output.sh"
null_sound_where_none
"$(dirname "$0")/wine-prefix.sh" "$wine"
# LUMIVOX_WINE_DESKTOP=NAME,WIDTHxHEIGHT: inside a desktop window of Wine's own, which draws
# the window frames that a bare X server has no window manager for.
if [ -n "${LUMIVOX_WINE_DESKTOP:-}" ]; then
  exec "$wine" explorer "/desktop=$LUMIVOX_WINE_DESKTOP" "$exe" "$@"
fi
exec "$wine" "$exe" "$@"
