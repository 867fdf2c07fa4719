# Shared by start_servers.sh and stop_servers.sh; sourced, not run.
# Expects $state (the state directory, BUILD_DIR/test-servers) to be set.

SERVICES=(http https https-untrusted proxy auth-proxy proxy-407)

# Prints the pid in FILE when that process is alive and one of ours: its command line names the
# state directory, which guards against a recycled pid.
live_pid() { # FILE
  local pid
  [ -s "$1" ] || return 1
  pid=$(head -n 1 "$1" 2>/dev/null) || return 1
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  kill -0 "$pid" 2>/dev/null || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$state/" || return 1
  echo "$pid"
}

# True when something accepts connections on 127.0.0.1:PORT.
listening() { # PORT
  timeout 2 bash -c ': >"/dev/tcp/127.0.0.1/$1"' _ "$1" 2>/dev/null
}

# Stops the named services: TERM, then KILL after five seconds; removes their state files.
stop_services() { # NAME...
  local name pid pids=() deadline
  for name in "$@"; do
    for f in "$state/$name.pid" "$state/$name.tinyproxy.pid"; do
      pid=$(live_pid "$f") && pids+=("$pid")
    done
  done
  if [ ${#pids[@]} -gt 0 ]; then
    kill -TERM "${pids[@]}" 2>/dev/null || true
    deadline=$((SECONDS + 5))
    while [ $SECONDS -lt $deadline ]; do
      local alive=()
      for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive+=("$pid"); done
      [ ${#alive[@]} -eq 0 ] && break
      pids=("${alive[@]}")
      sleep 0.1
    done
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  fi
  for name in "$@"; do
    rm -f "$state/$name.pid" "$state/$name.tinyproxy.pid" "$state/$name.ready" "$state/$name.port"
  done
}
