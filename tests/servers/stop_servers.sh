#!/usr/bin/env bash
# Stops the test servers that start_servers.sh started for BUILD_DIR. Quiet; safe to run twice.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
state=$(cd "$1" && pwd)/test-servers
[ -d "$state" ] || exit 0
# shellcheck source=servers_lib.sh
. "$here/servers_lib.sh"
lock_state stop_servers
stop_services "${SERVICES[@]}"
