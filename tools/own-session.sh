#!/usr/bin/env bash
# Runs a command in a Wine session of its own: on a private Xvfb display, in the prefix that
# LUMIVOX_WINEPREFIX names. Tests that move the keyboard focus or change the session's
# settings run there, so that windows of other tests (which take the foreground when they
# open) cannot take the key presses or see the settings. Afterwards the session's Wine
# processes and the display end; the command's exit code is returned.
set -euo pipefail
: "${LUMIVOX_WINEPREFIX:?names the prefix of the session}"
export LUMIVOX_WINEPREFIX
dir=$(mktemp -d)
xvfb=""
end_session() {
  WINEPREFIX=$LUMIVOX_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap end_session EXIT
# shellcheck source=xvfb.sh
source "$(dirname "$0")/xvfb.sh"
start_private_xvfb "$dir" own-session
status=0
"$@" || status=$?
exit "$status"
