#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds norvane and converts the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
cmake -S dist/norvane -B build/demo -DCMAKE_BUILD_TYPE=Release -DNORVANE_TESTS=OFF \
  -DNORVANE_BENCH=OFF >/dev/null
cmake --build build/demo -j"$(nproc)" >/dev/null

# The program takes every argument with a "/" as a switch, so it runs in the data's folder.
work=$(mktemp -d)
cp dist/norvane/sample/qqwry.dat "$work/"
cd "$work"
echo "\$ norvane qqwry.dat gbwry.dat"
"$root/build/demo/norvane" qqwry.dat gbwry.dat
echo "\$ norvane /o qqwry.dat gbwry-old.dat"
"$root/build/demo/norvane" /o qqwry.dat gbwry-old.dat
ls -l "$work"
echo
echo "\$ norvane-query verify gbwry.dat"
"$root/build/demo/norvane-query" verify gbwry.dat
echo "\$ norvane-query lookup gbwry.dat 1.0.0.1 1.2.3.4 36.1.2.3 202.96.0.1 255.255.255.255"
"$root/build/demo/norvane-query" lookup gbwry.dat 1.0.0.1 1.2.3.4 36.1.2.3 202.96.0.1 \
  255.255.255.255 || [ $? -eq 1 ] # 1: some address is not covered
