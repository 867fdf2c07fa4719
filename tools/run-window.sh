#!/usr/bin/env bash
# One synthesis as a user does it, where no one watches: tools/run.sh calls this on a private
# Xvfb. ttsclient.exe runs in a Wine desktop window (which draws the window frames), its
# default text is left as it is and 语音合成 is clicked with the mouse. Prints screenshots of
# the window before and after, the file's path, size and length, and what was played; then
# closes the program with WM_CLOSE and stops what it started (the sound server and recorder,
# the Wine session of the run's prefix). Exits 1 with one line saying what failed.
#   tools/run-window.sh BUILD_TREE TTSCLIENT_EXE WINDOW_DRIVER_EXE
# The sound goes to the user's sound server where there is one; otherwise to a private one
# that records it (tests/servers/sound_server.sh), or, without PulseAudio, to ALSA's null
# device.
set -euo pipefail
tree=$1
exe=$2
driver=$3
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=sound-output.sh
source tools/sound-output.sh
state="$tree/run"
rm -rf "$state"
mkdir -p "$state"
wine_log="$state/wine.log"
export WINEPREFIX="$tree/wineprefix"
desktop_size=1024x768
synthesis_limit=60
rate=22050

recording=""
driver_pid=""
finish() {
  # Closing the driver's input closes the program too; what is still running then is ended.
  if [ -n "$driver_pid" ]; then
    exec {to_driver}>&- 2>/dev/null || true
    for _ in $(seq 1 150); do kill -0 "$driver_pid" 2>/dev/null || break; sleep 0.1; done
    kill "$driver_pid" 2>/dev/null || true
  fi
  wineserver_of_prefix -k
  if [ -n "$recording" ]; then tests/servers/sound_server.sh stop "$state"; fi
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
  echo "run: $*" >&2
  exit 1
}

# The Wine session of the run's prefix (never another's): -w waits for its end, -k ends it.
wineserver_of_prefix() {
  if [ "$1" = -w ]; then
    timeout 20 wineserver -w 2>/dev/null
  else
    wineserver -k 2>/dev/null || true
  fi
}

if has_sound_output; then
  heard="on your sound output"
elif server=$(tests/servers/sound_server.sh start "$state" "$rate" 2>"$state/sound.log"); then
  export PULSE_SERVER=$server
  recording="$state/sound/recording.raw"
  heard="by a private sound server, which plays into nothing and records"
else
  heard="by ALSA's null device, unrecorded ($(tail -n 1 "$state/sound.log"))"
fi

# The driver starts the program and answers on its own lines (see tools/window_driver.cpp).
coproc DRIVER {
  LUMIVOX_WINE_DESKTOP="lumivox,$desktop_size" tools/wine-run.sh "$driver" \
    "Z:${exe//\//\\}" 2>>"$wine_log"
}
driver_pid=$DRIVER_PID
exec {from_driver}<&"${DRIVER[0]}" {to_driver}>&"${DRIVER[1]}"
answer() { # SECONDS: the driver's next line, without the carriage return
  local line
  IFS= read -r -t "$1" line <&"$from_driver" || return 1
  printf '%s' "${line%$'\r'}"
}
ask() { # COMMAND
  printf '%s\n' "$1" >&"$to_driver"
  answer 15
}

# The first run also makes the prefix, which takes a while.
window=$(answer 180) || fail "ttsclient.exe showed no window within 180 s (Wine's messages: $wine_log)"
[[ $window == window* ]] || fail "${window#error: }"
button=$(answer 10) || fail "the window driver stopped"
[[ $button == button* ]] || fail "${button#error: }"
read -r _ left top right bottom <<<"$window"
read -r _ b_left b_top b_right b_bottom <<<"$button"

desktop_window=$(xdotool search --name '^lumivox - Wine desktop$' | head -n 1) ||
  fail "no Wine desktop window on $DISPLAY"
eval "$(xdotool getwindowgeometry --shell "$desktop_window")"
origin_x=$X
origin_y=$Y
speech_file=$(ls -d "$WINEPREFIX"/drive_c/users/*/Desktop | grep -v /Public/ | head -n 1)/合成语音.mp3
rm -f "$speech_file"

screenshot() { # FILE: the window with its frame, once it shows more than one colour
  local width=$((right - left)) height=$((bottom - top))
  for _ in $(seq 1 20); do
    import -window root -crop "${width}x${height}+$((origin_x + left))+$((origin_y + top))" \
      +repage "$1"
    [ "$(convert "$1" -format %k info:)" -gt 1 ] && return 0
    sleep 0.25
  done
  fail "the window stayed blank in $1"
}

sleep 0.5
screenshot "$state/window-before.png"
echo "window before the synthesis: $state/window-before.png"

xdotool mousemove "$((origin_x + (b_left + b_right) / 2))" "$((origin_y + (b_top + b_bottom) / 2))" \
  click 1
clicked=$(date +%s.%N)
echo "clicked 语音合成 (default text, the mouse on the button)"

# The file is written once whole (through a temporary file); a message box means failure.
deadline=$((SECONDS + synthesis_limit))
until [ -s "$speech_file" ]; do
  reply=$(ask message) || fail "the window driver stopped answering"
  case "$reply" in
    "message") ;;
    "message "*) fail "ttsclient.exe reported: ${reply#message }" ;;
    "ended "*) fail "ttsclient.exe ended (exit code ${reply#ended }) before writing the file" ;;
    *) fail "${reply#error: }" ;;
  esac
  [ $SECONDS -lt $deadline ] || fail "no $speech_file within ${synthesis_limit}s of the click"
  sleep 0.2
done
written=$(date +%s.%N)
size=$(stat -c %s "$speech_file")
file_figures=$(python3 tests/playback/compare_recording.py "$speech_file") ||
  fail "$speech_file is no audio file"
echo "file: $speech_file"
echo "      $size bytes, written $(awk -v a="$written" -v b="$clicked" 'BEGIN { printf "%.2f", a - b }') s after the click; ${file_figures#file: }"

# The player plays the file once: its length and a margin, then the sound must be over.
seconds=$(awk '{ print $2 }' <<<"$file_figures")
sleep "$(awk -v s="$seconds" 'BEGIN { print s + 1.5 }')"
reply=$(ask message) || fail "the window driver stopped answering"
[ "$reply" = message ] || fail "after playing: ${reply#message }"
echo "sound: played $heard"
if [ -n "$recording" ]; then
  python3 tests/playback/compare_recording.py "$speech_file" --recording "$recording" \
    --rate "$rate" --clock "$state/sound/recording.clock" --since "$clicked" |
    sed -n 's/^recorded: /player: /p'
fi

screenshot "$state/window-after.png"
echo "window after the synthesis: $state/window-after.png"

closed=$(ask close) || fail "ttsclient.exe did not answer WM_CLOSE"
[[ $closed == exited* ]] || fail "${closed#error: }"
wait "$driver_pid" 2>/dev/null || true
driver_pid=""
wineserver_of_prefix -w || fail "the Wine session of $WINEPREFIX did not end within 20 s"
echo "closed: ttsclient.exe ended with exit code ${closed#exited } after WM_CLOSE"
