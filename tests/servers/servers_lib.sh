# shellcheck shell=bash disable=SC2034,SC2154
# The life of the test services: started detached, found again by pid file, stopped.
# Sourced by start_servers.sh and stop_servers.sh (state BUILD_DIR/test-servers), by the
# speech service's scripts (BUILD_DIR/tts-service) and by sound_server.sh; not run.
# Expects $state (the state directory, an absolute path) to be set.

SERVICES=(http https https-untrusted proxy auth-proxy proxy-407)

# Holds the state directory's lock (fd 9) for the rest of the script, so that no two starts or
# stops for it run at once; after a minute of waiting, WHO says so and the script ends.
lock_state() { # WHO
  exec 9>"$state/.lock"
  flock -w 60 9 || {
    echo "$1: another start or stop holds $state/.lock" >&2
    exit 1
  }
}

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
  # shellcheck disable=SC2016
  timeout 2 bash -c ': >"/dev/tcp/127.0.0.1/$1"' _ "$1" 2>/dev/null
}

# Starts COMMAND in the background as service NAME; its pid goes to $state/NAME.pid and its
# output to $state/NAME.out. setsid: the service outlives the shell (and the test runner's
# process group) that started it; it must not inherit the caller's lock (fd 9).
start_detached() { # NAME COMMAND...
  local name=$1
  shift
  # shellcheck disable=SC2016
  setsid bash -c 'echo $$ >"$0"; exec "$@"' "$state/$name.pid" "$@" \
    </dev/null >"$state/$name.out" 2>&1 9>&- &
}

# Waits until CHECK... succeeds while service NAME lives, for at most SECONDS; on failure
# prints why (with the end of its output) on stderr, stops the service and returns 1.
await_ready() { # NAME SECONDS CHECK...
  local name=$1 deadline=$((SECONDS + $2))
  shift 2
  until "$@"; do
    # The pid file may not be written yet in the first moments.
    if [ -s "$state/$name.pid" ] && ! live_pid "$state/$name.pid" >/dev/null; then
      echo "$name exited; the end of $state/$name.out:" >&2
      tail -n 5 "$state/$name.out" >&2 || true
      stop_services "$name"
      return 1
    fi
    if [ $SECONDS -ge $deadline ]; then
      echo "$name was not ready after $(($2))s; the end of $state/$name.out:" >&2
      tail -n 5 "$state/$name.out" >&2 || true
      stop_services "$name"
      return 1
    fi
    sleep 0.05
  done
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
