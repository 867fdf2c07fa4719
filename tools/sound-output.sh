# shellcheck shell=bash
# Sourced: where Wine's sound goes. A user's sound server (PulseAudio or PipeWire) or sound
# card is left to Wine as it finds it, so the speech is heard there. Without either, Wine
# gets ALSA's null device, which plays in real time and discards the sound, and the sound
# client is kept from starting a server of its own.

# True when this user has a sound server or a playback device.
has_sound_output() {
  [ -n "${PULSE_SERVER:-}" ] && return 0
  local run=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
  local socket
  for socket in "$run/pulse/native" "$run/pipewire-0" /run/pulse/native /var/run/pulse/native; do
    [ -S "$socket" ] && return 0
  done
  compgen -G '/dev/snd/pcmC*D*p' >/dev/null
}

# Exports the null device where nothing else would play; a caller's own choice stays.
null_sound_where_none() {
  [ -z "${ALSA_CONFIG_PATH:-}" ] || return 0
  has_sound_output && return 0
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  # A file of its own: PulseAudio's ALSA configuration (its 99-pulse.conf) would otherwise
  # route the default device to a server that is not there.
  export ALSA_CONFIG_PATH="$here/alsa-null.conf"
  export PULSE_CLIENTCONFIG="$here/pulse-no-autospawn.conf"
}
