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
if [ -f "$WINEPREFIX/.lumivox-ready" ]; then
  own_desktop
  exit 0
fi
"$wine" wineboot -i >/dev/null 2>&1 || true
own_desktop
"$wine" regedit /S "Z:${here//\//\\}\\wine-settings.reg" >/dev/null 2>&1 || true
"$wine" wineboot -s >/dev/null 2>&1 || true
touch "$WINEPREFIX/.lumivox-ready"
