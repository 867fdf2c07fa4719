#!/usr/bin/env bash
# Prints the architecture whose Windows programs Wine can run here: i686 when the kernel
# executes 32-bit code, else x86_64 (64-bit Wine runs the same sources built for 64 bits).
set -euo pipefail
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
