#!/usr/bin/env bash
# Creates and configures the Wine prefix named by WINEPREFIX, once.
set -euo pipefail
wine=$1
here=$(cd "$(dirname "$0")" && pwd)
exec 9>"$WINEPREFIX.lock"
flock 9
# Wine links the user's desktop folder to the Unix home. This prefix gets a desktop of its
# own, so what the programs write there stays in the build tree and build trees running at
# the same time do not share the file.
own_desktop() {
  for desktop in "$WINEPREFIX"/drive_c/users/*/Desktop; do
    if [ -L "$desktop" ]; then rm "$desktop" && mkdir "$desktop"; fi
  done
}
# Wine draws caption buttons, arrows and check marks with its Marlett font (from fonts-wine),
# which this Wine looks for only in the prefix's own Fonts folder.
symbol_font() {
  local font=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -f "$font" ] && [ -d "$fonts" ] && [ ! -e "$fonts/marlett.ttf" ]; then cp "$font" "$fonts/"; fi
}
# The first program of a Wine session starts the wineserver and Wine's own services, which
# inherit that program's output; whoever reads it (ctest) would then wait for the session to
# end as well. Started here, under the lock, they hold none of it.
# The desktop process starts with the first window and would inherit output the same way.
detached_session() {
  "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
  [ -n "${DISPLAY:-}" ] || return 0
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop' || true); do
    grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && return 0
  done
  "$wine" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 9>&- || true
}
if [ -f "$WINEPREFIX/.lumivox-ready" ]; then
  own_desktop
  symbol_font
  detached_session
  exit 0
fi
"$wine" wineboot -i >/dev/null 2>&1 || true
own_desktop
symbol_font
"$wine" regedit /S "Z:${here//\//\\}\\wine-settings.reg" >/dev/null 2>&1 || true
# Wine takes the dpi from the user's desktop settings, else from the current configuration.
if [ -n "${LUMIVOX_WINE_DPI:-}" ]; then
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$LUMIVOX_WINE_DPI" /f >/dev/null 2>&1 || true
  done
fi
"$wine" wineboot -s >/dev/null 2>&1 || true
touch "$WINEPREFIX/.lumivox-ready"
detached_session
