#!/usr/bin/env bash
# Installs what the build, the programs and the tests use; does nothing when all is present.
set -euo pipefail

packages=(
  cmake make python3 googletest file
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb x11-utils xdotool imagemagick
  fonts-wqy-microhei
  tinyproxy openssl curl
  espeak-ng lame
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "bootstrap: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
