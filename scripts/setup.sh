#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Installs only what is missing,
# so a machine that already has everything needs no network.
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
         fonts-wqy-microhei)
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
