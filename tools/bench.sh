#!/usr/bin/env bash
# Builds the benchmark programs and runs them under Wine; each prints one table of medians.
#   tools/bench.sh [NAME...]   NAME: reply-decode body-download memory cookie-merge synthesis-overhead startup
#                              (default all)
# Figures only: nothing here fails on a slow result; a benchmark that cannot run says why.
set -euo pipefail
source "$(dirname "$0")/prologue.sh"
# One display for the whole run: Wine's session of the prefix keeps the display of its first
# program, so a start-up timed after a benchmark that ran without one would show no window.
if [ -z "${DISPLAY:-}" ]; then exec tools/with-display.sh tools/bench.sh "$@"; fi
cmake --preset "mingw-$arch" >/dev/null
cmake --build --preset "mingw-$arch" -j"$(nproc)" >/dev/null
build="$root/build/mingw-$arch"
bin="$build/bench"
repetitions=${LUMIVOX_BENCH_REPETITIONS:-5}

run() { # PROGRAM [ARGS...]
  tools/wine-run.sh "$bin/$1.exe" "${@:2}"
}

median() { # numbers on stdin
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

server_pid=""
server_dir=""
stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  if [ -n "$server_dir" ]; then rm -rf "$server_dir"; fi
  server_pid=""
  server_dir=""
}
trap stop_server EXIT

# The scripted HTTP server of tests/servers on a free loopback port, for this run only.
start_server() {
  server_dir=$(mktemp -d)
  python3 tests/servers/scripted_server.py --port 0 --quiet --max-seconds 1800 \
    --ready-file "$server_dir/ready" >"$server_dir/out" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 200); do
    [ -s "$server_dir/ready" ] && { server_port=$(cat "$server_dir/ready"); return 0; }
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "bench: the scripted server did not start: $(cat "$server_dir/out")" >&2
  return 1
}

bench_reply_decode() {
  run reply_decode
  run unescape_breakdown
}

bench_body_download() {
  start_server || return 0
  local url="http://127.0.0.1:$server_port/reply?bodygen=67108864" curl_rate
  curl_rate=$(for _ in $(seq 1 "$repetitions"); do
    curl -s -o /dev/null -w '%{speed_download}\n' "$url"
  done | median | awk '{ printf "%.3f", $1 / 1048576 }')
  run body_download "127.0.0.1:$server_port" "$curl_rate" "$repetitions"
  stop_server
}

bench_memory() { run reply_memory; }

bench_cookie_merge() { run cookie_merge; }

# The local speech service on the port the synthesis benchmark was built for.
service_port=$(sed -n 's/^LUMIVOX_BENCH_SERVICE_PORT:[A-Z]*=//p' "$build/CMakeCache.txt")
service="http://127.0.0.1:$service_port"
service_state="$build/bench-service"
stop_service() { tests/service/stop_service.sh "$service_state"; }

# The service records no time of its own: the same request body from curl, over the same
# loopback, stands for it (curl's whole time: making the reply and sending it).
curl_service_ms() { # REPETITIONS: median ms of curl posting the last body the service got
  local body="$service_state/body"
  curl -s "$service/__requests" | python3 -c \
    'import json, sys; sys.stdout.write([r for r in json.load(sys.stdin) if r["method"] == "POST"][-1]["raw_body"])' \
    >"$body"
  for _ in $(seq 1 "$1"); do
    curl -s -o /dev/null -H 'Content-Type: application/x-www-form-urlencoded' \
      --data-binary "@$body" -w '%{time_total} %{size_download}\n' "$service/fcgi-bin/aai/aai_tts"
  done | sort -g | awk '{ t[NR] = $1; n = $2 } END { printf "%.3f %d", t[int((NR + 1) / 2)] * 1000, n }'
}

bench_synthesis_overhead() {
  mkdir -p "$service_state"
  trap 'stop_service; stop_server' EXIT
  tests/service/start_service.sh "$service_state" "$service_port" >/dev/null || return 0
  local rows=() size lines kind to_file whole_call request floor_post floor service_ms reply_bytes
  for size in 102400:100KB 2097152:2MB; do
    curl -s "$service/__requests?clear=1" >/dev/null
    # The player's messages from Wine go to a log, shown only when the run fails.
    lines=$(run synthesis_overhead "${size%%:*}" "$repetitions" 2>"$service_state/wine.log" |
      tr -d '\r')
    [ -n "$lines" ] || { cat "$service_state/wine.log" >&2; stop_service; return 1; }
    read -r service_ms reply_bytes < <(curl_service_ms "$repetitions")
    while read -r kind to_file whole_call request floor_post floor; do
      rows+=("${size##*:}" "$kind" "$to_file" "$whole_call" "$request" "$floor_post" "$floor"
        "$service_ms" "$reply_bytes")
    done <<<"$lines"
    curl -s -X POST -d '{}' "$service/__config" >/dev/null
  done
  run synthesis_overhead --table "${rows[@]}"
  run synthesis_overhead --stall "$repetitions" 2>>"$service_state/wine.log" || true
  curl -s -X POST -d '{}' "$service/__config" >/dev/null
  stop_service
}

# Starts vary by tens of ms on a busy machine: twice the repetitions and one more.
bench_startup() {
  local client="$build/src/client/ttsclient.exe"
  tools/with-display.sh tools/wine-run.sh "$bin/startup_time.exe" "$((repetitions * 2 + 1))" \
    "$(winepath_w "$client")"
}

# Unix path to the Windows form Wine gives it (Z: maps /).
winepath_w() { printf 'Z:%s' "${1//\//\\}"; }

all=(reply-decode body-download memory cookie-merge synthesis-overhead startup)
chosen=("$@")
[ ${#chosen[@]} -gt 0 ] || chosen=("${all[@]}")

case $arch in
  i686) which_build="i686 build under 32-bit Wine" ;;
  *) which_build="x86_64 build under 64-bit Wine (this kernel runs no 32-bit code: the i686 build is not measured)" ;;
esac
echo "benchmarks: $which_build; $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'); $(date -u '+%Y-%m-%d %H:%M UTC')"
for name in "${chosen[@]}"; do
  if [[ " ${all[*]} " != *" $name "* ]]; then
    echo "bench: unknown benchmark $name (known: ${all[*]})" >&2
    exit 2
  fi
  "bench_${name//-/_}" || echo "bench: $name ended with status $?" >&2
done
