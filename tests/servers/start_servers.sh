#!/usr/bin/env bash
# Starts the HTTP client's test servers in the background, on 127.0.0.1, for BUILD_DIR.
#
# Ports (each overridable by the environment variable of the same name):
#   LUMIVOX_TEST_HTTP_PORT=18080              scripted_server.py, plain HTTP
#   LUMIVOX_TEST_HTTPS_PORT=18443             scripted_server.py, certificate of the test CA
#   LUMIVOX_TEST_HTTPS_UNTRUSTED_PORT=18444   scripted_server.py, self-signed certificate
#   LUMIVOX_TEST_PROXY_PORT=18888             tinyproxy, open
#   LUMIVOX_TEST_AUTH_PROXY_PORT=18889        tinyproxy, Basic auth puser / ppass
#   LUMIVOX_TEST_PROXY407_PORT=18890          proxy_407.py, 407 to everything
#   LUMIVOX_TEST_CLOSED_PORT=18091            nothing listens (refused connections)
# Both proxies allow CONNECT to the two HTTPS ports only.
# LUMIVOX_TEST_SERVERS_MAX_SECONDS (default 3600): every server stops by itself after this long.
#
# State (pids, logs, proxy configurations, certificates) lives in BUILD_DIR/test-servers/, and
# BUILD_DIR/test-servers/env holds KEY=VALUE lines for the tests. Servers already running with
# the same port and inputs are kept, so running this twice leaves one set. Prints one line.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1/test-servers"
state=$(cd "$1" && pwd)/test-servers
# shellcheck source=servers_lib.sh
. "$here/servers_lib.sh"

http_port=${LUMIVOX_TEST_HTTP_PORT:-18080}
https_port=${LUMIVOX_TEST_HTTPS_PORT:-18443}
https_untrusted_port=${LUMIVOX_TEST_HTTPS_UNTRUSTED_PORT:-18444}
proxy_port=${LUMIVOX_TEST_PROXY_PORT:-18888}
auth_proxy_port=${LUMIVOX_TEST_AUTH_PROXY_PORT:-18889}
proxy407_port=${LUMIVOX_TEST_PROXY407_PORT:-18890}
closed_port=${LUMIVOX_TEST_CLOSED_PORT:-18091}
max_seconds=${LUMIVOX_TEST_SERVERS_MAX_SECONDS:-3600}
proxy_user=puser
proxy_pass=ppass
start_timeout=20

fail() {
  echo "start_servers: $*" >&2
  exit 1
}

# The commands below are split at blanks.
case "$state" in *[[:space:]]*) fail "the build directory's path must not contain blanks: $state" ;; esac

lock_state start_servers

certs=$state/certs
"$here/make_test_ca.sh" "$certs" || fail "making the certificates in $certs failed"

# Writes FILE only when its content changes, so that its time stamp tells when it did.
write_if_changed() { # FILE CONTENT
  if [ ! -f "$1" ] || [ "$(cat "$1")" != "$2" ]; then
    printf '%s\n' "$2" >"$1.tmp"
    mv "$1.tmp" "$1"
  fi
}

proxy_conf() { # NAME PORT BASICAUTH-LINE
  sed -e "s|@PORT@|$2|" -e "s|@LOGFILE@|$state/$1.log|" \
    -e "s|@PIDFILE@|$state/$1.tinyproxy.pid|" -e "s|@VIANAME@|lumivox-test-$1|" \
    -e "s|@HTTPS_PORT@|$https_port|" -e "s|@HTTPS_UNTRUSTED_PORT@|$https_untrusted_port|" \
    -e "s|@BASICAUTH@|$3|" "$here/tinyproxy.conf.in"
}
write_if_changed "$state/proxy.conf" "$(proxy_conf proxy "$proxy_port" "# no authentication")"
write_if_changed "$state/auth-proxy.conf" \
  "$(proxy_conf auth-proxy "$auth_proxy_port" "BasicAuth $proxy_user $proxy_pass")"

py_server() { # PORT NAME [OPTIONS...]: the scripted server's command line
  local port=$1 name=$2
  shift 2
  echo python3 "$here/scripted_server.py" --port "$port" --max-seconds "$max_seconds" \
    --pidfile "$state/$name.pid" --ready-file "$state/$name.ready" "$@"
}

# Per service: port, files whose change requires a restart, and the command.
declare -A port inputs command
port[http]=$http_port
port[https]=$https_port
port[https-untrusted]=$https_untrusted_port
port[proxy]=$proxy_port
port[auth-proxy]=$auth_proxy_port
port[proxy-407]=$proxy407_port
inputs[http]="$here/scripted_server.py"
inputs[https]="$here/scripted_server.py $certs/server.pem $certs/server.key"
inputs[https-untrusted]="$here/scripted_server.py $certs/untrusted.pem $certs/untrusted.key"
inputs[proxy]="$state/proxy.conf"
inputs[auth-proxy]="$state/auth-proxy.conf"
inputs[proxy-407]="$here/proxy_407.py $here/scripted_server.py"
command[http]=$(py_server "$http_port" http)
command[https]=$(py_server "$https_port" https \
  --tls-cert "$certs/server.pem" --tls-key "$certs/server.key")
command[https-untrusted]=$(py_server "$https_untrusted_port" https-untrusted \
  --tls-cert "$certs/untrusted.pem" --tls-key "$certs/untrusted.key")
command[proxy]="timeout -k 5 $max_seconds tinyproxy -d -c $state/proxy.conf"
command[auth-proxy]="timeout -k 5 $max_seconds tinyproxy -d -c $state/auth-proxy.conf"
command[proxy-407]="python3 $here/proxy_407.py --port $proxy407_port --max-seconds $max_seconds \
--pidfile $state/proxy-407.pid --ready-file $state/proxy-407.ready"

running() { # NAME: alive, on its port, and started after its inputs last changed
  local name=$1 f
  live_pid "$state/$name.pid" >/dev/null || return 1
  [ "$(cat "$state/$name.port" 2>/dev/null)" = "${port[$name]}" ] || return 1
  for f in ${inputs[$name]}; do
    [ "$f" -nt "$state/$name.pid" ] && return 1
  done
  listening "${port[$name]}"
}

started=()
kept=0
for name in "${SERVICES[@]}"; do
  if running "$name"; then
    kept=$((kept + 1))
    continue
  fi
  stop_services "$name"
  if listening "${port[$name]}"; then
    fail "port ${port[$name]} for $name is taken by a process not started here (see ss -ltnp)"
  fi
  echo "${port[$name]}" >"$state/$name.port"
  # shellcheck disable=SC2086
  start_detached "$name" ${command[$name]}
  started+=("$name")
done

ready() { # NAME
  if [ "${command[$1]#python3}" != "${command[$1]}" ]; then
    [ -s "$state/$1.ready" ]
  else
    listening "${port[$1]}"
  fi
}

deadline=$((SECONDS + start_timeout))
for name in "${started[@]}"; do
  until ready "$name"; do
    # The pid file may not be written yet in the first moments.
    if [ -s "$state/$name.pid" ] && ! live_pid "$state/$name.pid" >/dev/null; then
      tail -n 5 "$state/$name.out" >&2 || true
      fail "$name (port ${port[$name]}) exited; see $state/$name.out"
    fi
    [ $SECONDS -lt $deadline ] || fail "$name not listening on ${port[$name]} after ${start_timeout}s"
    sleep 0.05
  done
done

for name in "${started[@]}"; do
  live_pid "$state/$name.pid" >/dev/null || fail "$name exited after start; see $state/$name.out"
done
if listening "$closed_port"; then
  fail "port $closed_port must stay closed for the refused-connection tests, but something listens"
fi

write_if_changed "$state/env" "LUMIVOX_TEST_HOST=127.0.0.1
LUMIVOX_TEST_HTTP_PORT=$http_port
LUMIVOX_TEST_HTTPS_PORT=$https_port
LUMIVOX_TEST_HTTPS_UNTRUSTED_PORT=$https_untrusted_port
LUMIVOX_TEST_PROXY_PORT=$proxy_port
LUMIVOX_TEST_AUTH_PROXY_PORT=$auth_proxy_port
LUMIVOX_TEST_AUTH_PROXY_USER=$proxy_user
LUMIVOX_TEST_AUTH_PROXY_PASS=$proxy_pass
LUMIVOX_TEST_PROXY407_PORT=$proxy407_port
LUMIVOX_TEST_CLOSED_PORT=$closed_port
LUMIVOX_TEST_CA_DER=$certs/ca.der
LUMIVOX_TEST_CA_DER_WINE=Z:$(printf '%s' "$certs/ca.der" | tr / '\\')
LUMIVOX_TEST_CA_PEM=$certs/ca.pem
LUMIVOX_TEST_SERVERS_DIR=$state"

echo "test servers on 127.0.0.1 (${#started[@]} started, $kept kept): http $http_port," \
  "https $https_port, https-untrusted $https_untrusted_port, proxy $proxy_port," \
  "auth-proxy $auth_proxy_port, proxy-407 $proxy407_port, closed $closed_port; env $state/env"
