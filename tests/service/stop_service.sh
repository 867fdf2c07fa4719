#!/usr/bin/env bash
# Stops the speech service that start_service.sh started for BUILD_DIR; quiet, safe twice.
set -euo pipefail
build=${1:?usage: stop_service.sh BUILD_DIR}
[ -d "$build/tts-service" ] || exit 0
here=$(cd "$(dirname "$0")" && pwd)
state=$(cd "$build/tts-service" && pwd)
# shellcheck source=../servers/servers_lib.sh
. "$here/../servers/servers_lib.sh"

exec 9>"$state/.lock"
flock -w 60 9
stop_services speech
