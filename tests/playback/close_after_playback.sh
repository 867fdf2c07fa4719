#!/usr/bin/env bash
# A program that has played a synthesis ends cleanly when its window is closed: WM_CLOSE, then
# the process (as the shell that started it sees it) exits with status 0. A media device left
# open at exit once took the whole Wine process down with a segmentation fault.
#   close_after_playback.sh BUILD_DIR   (needs the local speech service and a display)
set -euo pipefail
build=$(cd "${1:?usage: close_after_playback.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
exe="$build/tests/ttsclient-local.exe"
wine=wine
[ -x /usr/lib/wine/wine64 ] && file -b "$exe" | grep -q 'x86-64' && wine=/usr/lib/wine/wine64
desktop_file() { printf '%s\n' "$build"/wineprefix/drive_c/users/*/Desktop/合成语音.mp3; }
stamp() { stat -c %Y.%s "$(desktop_file)" 2>/dev/null || echo none; }

"$root/tools/wine-run.sh" "$exe" &
program=$!
trap 'kill "$program" 2>/dev/null || true' EXIT
window=""
for _ in $(seq 1 300); do
  window=$(xdotool search --name '^Lumivox$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no window"; exit 1; }
sleep 1
before=$(stamp)
# 语音合成: its centre at (492, 280) of the client area, which is the window without a frame.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove "$((X + 492))" "$((Y + 280))" click 1
for _ in $(seq 1 300); do [ "$(stamp)" != "$before" ] && break; sleep 0.1; done
[ "$(stamp)" != "$before" ] || { echo "the synthesis wrote no file"; exit 1; }
sleep 2 # playing
# taskkill without /f posts WM_CLOSE to the program's windows.
WINEPREFIX="$build/wineprefix" WINEDEBUG=-all "$wine" taskkill /im ttsclient-local.exe \
  >/dev/null 2>&1
status=0
for _ in $(seq 1 200); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then echo "the program did not end after WM_CLOSE"; exit 1; fi
wait "$program" || status=$?
trap - EXIT
echo "exit status after playback and WM_CLOSE: $status"
[ "$status" -eq 0 ]
