#!/usr/bin/env bash
# Creates and configures the Wine prefix named by WINEPREFIX, once.
set -euo pipefail
wine=$1
here=$(cd "$(dirname "$0")" && pwd)
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.lumivox-ready" ] && exit 0
"$wine" wineboot -i >/dev/null 2>&1 || true
"$wine" regedit /S "Z:${here//\//\\}\\wine-settings.reg" >/dev/null 2>&1 || true
"$wine" wineboot -s >/dev/null 2>&1 || true
touch "$WINEPREFIX/.lumivox-ready"
