#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Installs only what is missing,
# so a machine that already has everything needs no network. One line per install; the package
# manager's output goes to build/install.log (scripts/lib/install.sh).
#   scripts/setup.sh            native toolchain
#   scripts/setup.sh --windows  also the mingw cross compilers, Wine, a virtual display and a
#                               Chinese font (the capture's info box)
set -euo pipefail

want=(build-essential cmake clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
      python3 util-linux pkgconf binutils
      mmdb-bin python3-maxminddb libmaxmind-db-writer-perl postgresql)
# The exports' reader tests also use the machine's Node.js and npm (the npm packages are pinned in
# dist/norvane/tests/readers/package-lock.json and installed into the build tree by the test).
if [ "${1:-}" = "--windows" ]; then
  want+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xdotool imagemagick
         fonts-wqy-microhei xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils x11-utils
         libxrandr2:i386 libxrender1:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
fi

. "$(dirname "$0")/lib/install.sh"
install_packages "${want[@]}"
