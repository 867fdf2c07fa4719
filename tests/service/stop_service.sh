#!/usr/bin/env bash
# Stops the speech service that start_service.sh started for BUILD_DIR; quiet, safe twice.
set -uo pipefail
state="${1:?usage: stop_service.sh BUILD_DIR}/tts-service"
pid=$(head -n 1 "$state/pid" 2>/dev/null) || exit 0
if [[ $pid =~ ^[0-9]+$ ]] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q tts_service; then
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null
fi
rm -f "$state/pid" "$state/ready"
exit 0
