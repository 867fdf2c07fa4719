#!/usr/bin/env bash
# Starts the local speech service on 127.0.0.1:PORT in the background (PORT 0: a free port
# the system picks), state in BUILD_DIR/tts-service/, and waits until it listens; prints
# "speech service on 127.0.0.1:PORT". A service that does not come up is stopped again and
# its output shown. Extra arguments go to the service.
# LUMIVOX_TEST_SERVERS_MAX_SECONDS (default 3600): the service stops by itself after this long.
set -euo pipefail
build=${1:?usage: start_service.sh BUILD_DIR PORT [OPTION...]}
port=${2:?usage: start_service.sh BUILD_DIR PORT [OPTION...]}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/tts-service"
state=$(cd "$build/tts-service" && pwd)
# shellcheck source=../servers/servers_lib.sh
. "$here/../servers/servers_lib.sh"
lock_state start_service
stop_services speech
start_detached speech python3 "$here/tts_service.py" --port "$port" --accept-empty --quiet \
  --ready-file "$state/speech.ready" --max-seconds "${LUMIVOX_TEST_SERVERS_MAX_SECONDS:-3600}" "$@"
await_ready speech 20 test -s "$state/speech.ready" || {
  echo "speech service did not start" >&2
  exit 1
}
echo "speech service on 127.0.0.1:$(cat "$state/speech.ready")"
