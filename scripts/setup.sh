#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Installs only what is missing,
# so a machine that already has everything needs no network.
#   scripts/setup.sh            native toolchain
#   scripts/setup.sh --windows  also the mingw cross compilers, Wine, a virtual display and a
#                               Chinese font (the capture's info box)
set -euo pipefail

want=(build-essential cmake clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
      python3 util-linux pkgconf binutils)
if [ "${1:-}" = "--windows" ]; then
  want+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xdotool imagemagick
         fonts-wqy-microhei xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils x11-utils
         libxrandr2:i386 libxrender1:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
  fi
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
