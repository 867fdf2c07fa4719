#!/usr/bin/env bash
# A private sound server that plays into nothing and records what it played.
#   sound_server.sh start STATE_DIR [RATE]   prints the server's address, for PULSE_SERVER
#   sound_server.sh stop STATE_DIR           quiet; safe to run twice
# PulseAudio with one null sink (the default sink), which keeps real time, and parec on its
# monitor from the start on: STATE_DIR/sound/recording.raw holds what was played, 16-bit mono
# at RATE (default 22050) Hz. The sink runs without rewinds: with them the start of each
# stream is lost to the recording. STATE_DIR/sound/recording.clock holds "SECONDS BYTES": the
# Unix time at which the recording held BYTES bytes. Both stop by themselves after
# LUMIVOX_TEST_SERVERS_MAX_SECONDS (default 3600). Exit 3: PulseAudio is not installed.
set -euo pipefail
usage="usage: sound_server.sh start|stop STATE_DIR [RATE]"
verb=${1:?$usage}
dir=${2:?$usage}
rate=${3:-22050}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$dir/sound"
state=$(cd "$dir/sound" && pwd)
# shellcheck source=servers_lib.sh
. "$here/servers_lib.sh"
lock_state sound_server

case "$verb" in
  stop)
    stop_services recorder sound
    exit 0
    ;;
  start) ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

for tool in pulseaudio parec pactl; do
  command -v "$tool" >/dev/null || { echo "sound_server: $tool is not installed" >&2; exit 3; }
done
case "$state" in *[[:space:]]*) echo "sound_server: blanks in $state" >&2; exit 1 ;; esac
stop_services recorder sound
rm -f "$state/recording.raw" "$state/recording.clock" "$state/native"
max=${LUMIVOX_TEST_SERVERS_MAX_SECONDS:-3600}
server="unix:$state/native"
cat >"$state/sound.pa" <<PA
load-module module-native-protocol-unix socket=$state/native auth-anonymous=1
load-module module-null-sink sink_name=lumivox_null norewinds=1
set-default-sink lumivox_null
PA
# Its own home, runtime and state folders: nothing of a user's sound set-up is read or
# changed, and a server of the user's keeps running beside it.
start_detached sound env HOME="$state" PULSE_RUNTIME_PATH="$state/run" \
  PULSE_STATE_PATH="$state/state" timeout -k 5 "$max" pulseaudio -n -F "$state/sound.pa" \
  --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 --realtime=no \
  --high-priority=no --log-target=stderr
answers() { PULSE_SERVER=$server timeout 2 pactl info >/dev/null 2>&1; }
await_ready sound 20 answers || exit 1

start_detached recorder timeout -k 5 "$max" parec --server="$server" -d lumivox_null.monitor \
  --format=s16le --rate="$rate" --channels=1 --latency-msec=20 "$state/recording.raw"
recording() { PULSE_SERVER=$server timeout 2 pactl list short source-outputs 2>/dev/null | grep -q .; }
await_ready recorder 20 recording || { stop_services sound; exit 1; }
echo "$(date +%s.%N) $(stat -c %s "$state/recording.raw" 2>/dev/null || echo 0)" >"$state/recording.clock"
echo "$server"
