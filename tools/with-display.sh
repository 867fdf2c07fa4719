#!/usr/bin/env bash
# Runs a command with an X display: the current one, or a private Xvfb started for it and
# stopped after it. Xvfb picks the display number itself (-displayfd), so that runs starting
# at the same time never share one. Fails with one line when Xvfb does not come up.
set -euo pipefail
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then exec "$@"; fi
dir=$(mktemp -d)
xvfb=""
stop_xvfb() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap stop_xvfb EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# shellcheck source=xvfb.sh
source "$(dirname "$0")/xvfb.sh"
start_private_xvfb "$dir" with-display
"$@"
