#!/usr/bin/env bash
# Sets up the machine, builds ttsclient.exe and runs it under Wine.
#   tools/run.sh                                     against the local speech service
#   tools/run.sh --service URL [--product-page URL]  against a real service instead
# The local service (tests/service/tts_service.py: speech from espeak-ng, MP3 from lame) is
# started for the run on a free loopback port and stopped at its end; the program is built
# aimed at it in a build tree of the run's own, build/run-<arch>, whose build settings
# LUMIVOX_SERVICE_URL and LUMIVOX_PRODUCT_PAGE change only when the address does.
# With a display the window is the user's, and closing it ends the run. Without one,
# tools/run-window.sh does one synthesis through the window on a private Xvfb and reports
# it. Any failure ends the run with one line saying what failed, and exit code 1.
set -euo pipefail
usage="usage: tools/run.sh [--service URL [--product-page URL]]"
service_url=""
product_page=""
while [ $# -gt 0 ]; do
  case "$1" in
    --service) service_url=${2:?$usage}; shift 2 ;;
    --product-page) product_page=${2:?$usage}; shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
if [ -n "$product_page" ] && [ -z "$service_url" ]; then echo "$usage" >&2; exit 2; fi
source "$(dirname "$0")/prologue.sh"

tree="$root/build/run-$arch"
mkdir -p "$tree"
fail() {
  echo "run: $*" >&2
  exit 1
}
stop_service() { tests/service/stop_service.sh "$tree"; }
trap stop_service EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -z "$service_url" ]; then
  # The port of the last run while it is free, so that the program need not be rebuilt.
  port=$(sed -n 's|^url http://127\.0\.0\.1:\([0-9]*\)$|\1|p' "$tree/run-settings" 2>/dev/null || true)
  # A window left open for hours keeps its service.
  export LUMIVOX_TEST_SERVERS_MAX_SECONDS=86400
  started=$(tests/service/start_service.sh "$tree" "${port:-0}" 2>"$tree/service-start.log") ||
    started=$(tests/service/start_service.sh "$tree" 0 2>"$tree/service-start.log") ||
    fail "the local speech service did not start: $(tail -n 1 "$tree/service-start.log")"
  service_url="http://${started##* }"
fi

# Reconfigured only when the address changes; the default build trees stay as they are.
settings="url $service_url
page ${product_page:-(default)}"
if [ ! -f "$tree/CMakeCache.txt" ] || [ "$(cat "$tree/run-settings" 2>/dev/null)" != "$settings" ]; then
  page_setting=(-ULUMIVOX_PRODUCT_PAGE)
  [ -z "$product_page" ] || page_setting=("-DLUMIVOX_PRODUCT_PAGE=$product_page")
  cmake --preset "mingw-$arch" -B "$tree" -DLUMIVOX_BUILD_TESTS=OFF \
    "-DLUMIVOX_SERVICE_URL=$service_url" "${page_setting[@]}" >"$tree/configure.log" 2>&1 ||
    fail "configuring $tree failed: see $tree/configure.log"
  printf '%s\n' "$settings" >"$tree/run-settings"
fi
cmake --build "$tree" --target ttsclient window_driver -j"$(nproc)" >"$tree/build.log" 2>&1 ||
  fail "building ttsclient.exe failed: see $tree/build.log"
exe="$tree/src/client/ttsclient.exe"
echo "run: ttsclient.exe of the $arch build, aimed at $service_url"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  status=0
  tools/wine-run.sh "$exe" || status=$?
  exit "$status"
fi
tools/with-display.sh tools/run-window.sh "$tree" "$exe" "$tree/tools/window_driver.exe"
