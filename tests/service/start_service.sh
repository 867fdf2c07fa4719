#!/usr/bin/env bash
# Starts the local speech service on 127.0.0.1:PORT in the background, state in
# BUILD_DIR/tts-service/, and waits until it listens. Extra arguments go to the service.
set -euo pipefail
build=${1:?usage: start_service.sh BUILD_DIR PORT [OPTION...]}
port=${2:?usage: start_service.sh BUILD_DIR PORT [OPTION...]}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
state="$build/tts-service"
mkdir -p "$state"
"$here/stop_service.sh" "$build"
rm -f "$state/ready"
nohup python3 "$here/tts_service.py" --port "$port" --accept-empty --quiet \
  --pidfile "$state/pid" --ready-file "$state/ready" --max-seconds "${LUMIVOX_TEST_SERVERS_MAX_SECONDS:-3600}" \
  "$@" >"$state/service.out" 2>&1 </dev/null &
for _ in $(seq 200); do
  [ -s "$state/ready" ] && { echo "speech service on 127.0.0.1:$port"; exit 0; }
  kill -0 $! 2>/dev/null || break
  sleep 0.1
done
echo "speech service did not start:" >&2
cat "$state/service.out" >&2
exit 1
