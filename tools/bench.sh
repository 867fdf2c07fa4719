#!/usr/bin/env bash
# Builds the benchmark programs and runs them under Wine; each prints one table of medians.
#   tools/bench.sh [NAME...]   NAME: reply-decode body-download memory cookie-merge (default all)
# Figures only: nothing here fails on a slow result; a benchmark that cannot run says why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/bootstrap.sh

arch=$(tools/test-arch.sh)
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

bench_reply_decode() { run reply_decode; }

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

# Later benchmarks join the list and get a bench_NAME function: 3. client overhead of one
# synthesis, 4. start-up of ttsclient.exe beside a minimal Win32 window program.
all=(reply-decode body-download memory cookie-merge)
chosen=("$@")
[ ${#chosen[@]} -gt 0 ] || chosen=("${all[@]}")

echo "benchmarks: $arch build under Wine; $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'); $(date -u '+%Y-%m-%d %H:%M UTC')"
for name in "${chosen[@]}"; do
  if [[ " ${all[*]} " != *" $name "* ]]; then
    echo "bench: unknown benchmark $name (known: ${all[*]})" >&2
    exit 2
  fi
  "bench_${name//-/_}" || echo "bench: $name ended with status $?" >&2
done
