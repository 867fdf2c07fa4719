#!/usr/bin/env bash
# Stops the speech service that start_service.sh started for BUILD_DIR; quiet, safe twice.
set -euo pipefail
build=${1:?usage: stop_service.sh BUILD_DIR}
[ -d "$build/tts-service" ] || exit 0
here=$(cd "$(dirname "$0")" && pwd)
state=$(cd "$build/tts-service" && pwd)
# shellcheck source=../servers/servers_lib.sh
. "$here/../servers/servers_lib.sh"
lock_state stop_service
stop_services speech
