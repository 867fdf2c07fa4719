# Sourced by the scripts that need a display of their own.
# start_private_xvfb DIR NAME: starts an Xvfb that picks a free display itself (-displayfd), so
# that runs starting at the same time never share one; sets xvfb to its pid and exports
# DISPLAY once the server answers. DIR keeps its display number and log. On failure it prints
# one line starting with NAME and exits 1 (the caller's EXIT trap stops the server).
start_private_xvfb() {
  local dir=$1 name=$2 display=""
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
  xvfb=$!
  for _ in $(seq 1 100); do
    display=$(grep -xm1 '[0-9][0-9]*' "$dir/display" 2>/dev/null || true)
    [ -n "$display" ] && break
    kill -0 "$xvfb" 2>/dev/null || xvfb_failed "$name" "Xvfb ended without a display" "$dir/log"
    sleep 0.1
  done
  [ -n "$display" ] || xvfb_failed "$name" "Xvfb named no display within 10 s" "$dir/log"
  export DISPLAY=":$display"
  for _ in $(seq 1 50); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  xvfb_failed "$name" "Xvfb on $DISPLAY does not answer" "$dir/log"
}

xvfb_failed() {
  echo "$1: $2: $(tail -n 2 "$3" | tr '\n' ' ')" >&2
  exit 1
}
