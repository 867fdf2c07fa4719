#!/usr/bin/env bash
# Sets up the machine, builds the programs and starts ttsclient.exe under Wine. Without a
# display it starts the window on a private Xvfb, saves a screenshot, says where and ends.
set -euo pipefail
source "$(dirname "$0")/prologue.sh"
cmake --preset "mingw-$arch" >/dev/null
cmake --build --preset "mingw-$arch" -j"$(nproc)"
exe="$root/build/mingw-$arch/src/client/ttsclient.exe"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec tools/wine-run.sh "$exe"
fi

shot="$root/build/mingw-$arch/ttsclient-window.png"
headless() {
  tools/wine-run.sh "$exe" &
  local program=$! window=""
  for _ in $(seq 1 300); do
    window=$(xdotool search --name '^Lumivox$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "ttsclient.exe showed no window" >&2
    kill "$program" 2>/dev/null || true
    return 1
  fi
  sleep 1 # let the controls paint
  import -window root "$shot"
  echo "No display: ttsclient.exe ran on a private Xvfb; its window is in $shot"
  xdotool windowclose "$window" 2>/dev/null || kill "$program" 2>/dev/null || true
  wait "$program" || true
}
export -f headless
export exe shot
exec tools/with-display.sh bash -c headless
