#!/usr/bin/env bash
# Runs a command in a Wine session of its own: on a private Xvfb display, in the prefix that
# LUMIVOX_WINEPREFIX names. Tests that move the keyboard focus or change the session's
# settings run there, so that windows of other tests (which take the foreground when they
# open) cannot take the key presses or see the settings. Afterwards the session's Wine
# processes and the display end; the command's exit code is returned.
set -euo pipefail
: "${LUMIVOX_WINEPREFIX:?names the prefix of the session}"
export LUMIVOX_WINEPREFIX
number_file=$(mktemp)
# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
xvfb=$!
end_session() {
  WINEPREFIX=$LUMIVOX_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  rm -f "$number_file"
}
trap end_session EXIT
for _ in $(seq 1 100); do
  [ -s "$number_file" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "own-session: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$number_file" ] || { echo "own-session: Xvfb gave no display" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
status=0
"$@" || status=$?
exit "$status"
