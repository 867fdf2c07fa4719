#!/usr/bin/env bash
# Installs what the build, the programs and the tests use; does nothing when all is present.
set -euo pipefail

packages=(
  cmake make python3 googletest file clang-format
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine
  xvfb x11-utils xdotool imagemagick
  fonts-wqy-microhei
  tinyproxy openssl curl
  espeak-ng lame
  pulseaudio-utils
)
# A private PulseAudio records what the programs play. A machine whose sound server is
# PipeWire keeps it: its PulseAudio stand-in and PulseAudio's own would compete for the
# user's session.
dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q 'install ok installed' ||
  packages+=(pulseaudio)

missing() { # PACKAGE...: prints those not installed
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=""
install() { # PACKAGE...
  echo "bootstrap: installing $*"
  if [ -z "$updated" ]; then
    $sudo apt-get update -qq
    updated=yes
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

mapfile -t absent < <(missing "${packages[@]}")
if [ ${#absent[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  install "${absent[@]}"
fi

# Wine plays MP3 through GStreamer: the parser and the decoder are in these two, of the
# architecture whose Wine runs the programs. With only one of them nothing is heard.
case "$("$(dirname "$0")/test-arch.sh")" in
  i686) gst_arch=i386 ;;
  *) gst_arch=amd64 ;;
esac
mapfile -t absent < <(missing "gstreamer1.0-plugins-base:$gst_arch" "gstreamer1.0-plugins-good:$gst_arch")
[ ${#absent[@]} -eq 0 ] || install "${absent[@]}"
