#!/usr/bin/env bash
# The speech as heard: the player test's CASE (Mp3 or Wav) plays its synthesis into a private
# sound server that records it, and the recording is compared with the desktop file.
# Exit 77 (skipped): PulseAudio is not installed.
set -euo pipefail
build=$(cd "${1:?usage: recorded_playback.sh BUILD_DIR CASE}" && pwd)
case=${2:?usage: recorded_playback.sh BUILD_DIR CASE}
root=$(cd "$(dirname "$0")/../.." && pwd)
state="$build/playback-$case"
rate=22050
sound() { "$root/tests/servers/sound_server.sh" "$@"; }
trap 'sound stop "$state"' EXIT
status=0
server=$(sound start "$state" "$rate") || status=$?
case $status in
  0) ;;
  3) echo "skipped: no PulseAudio to record with"; exit 77 ;;
  *) exit 1 ;;
esac
PULSE_SERVER=$server "$root/tools/wine-run.sh" "$build/tests/client_tests.exe" --gtest_brief=1 \
  "--gtest_filter=Formats/PlaybackTest.*/$case"
# The player's "stopped" may come a moment before the last sound reaches the recording.
sleep 0.5
played=("$build"/wineprefix/drive_c/users/*/Desktop/合成语音.mp3)
python3 "$root/tests/playback/compare_recording.py" "${played[0]}" \
  --recording "$state/sound/recording.raw" --rate "$rate" --check
