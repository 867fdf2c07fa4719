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
fail() {
  echo "with-display: $1${2:+: $(tail -n 2 "$2" | tr '\n' ' ')}" >&2
  exit 1
}
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
xvfb=$!
display=""
for _ in $(seq 1 100); do
  display=$(grep -xm1 '[0-9][0-9]*' "$dir/display" 2>/dev/null || true)
  [ -n "$display" ] && break
  kill -0 "$xvfb" 2>/dev/null || fail "Xvfb ended without a display" "$dir/log"
  sleep 0.1
done
[ -n "$display" ] || fail "Xvfb named no display within 10 s" "$dir/log"
export DISPLAY=":$display"
for _ in $(seq 1 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer" "$dir/log"
"$@"
