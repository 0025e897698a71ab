#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds norvane and converts the bundled sample.
# The programs are built in build/demo, the results go to build/demo/out (replaced on every run).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/demo
out=$build/out

bash scripts/setup.sh
echo "== building norvane and norvane-query (Release) in $build"
mkdir -p "$build"
cmake -S dist/norvane -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORVANE_TESTS=OFF \
  -DNORVANE_BENCH=OFF >"$build/configure.log" 2>&1 || { tail -40 "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 || { tail -40 "$build/build.log"; exit 1; }
norvane=$build/norvane
query=$build/norvane-query

# The results are made beside the old ones and replace them at the end, so a failed run leaves
# the previous results whole. The program takes every argument with a "/" as a switch, so it runs
# in the data's folder.
rm -rf "$out.new"
mkdir "$out.new"
trap 'rm -rf "$out.new"' EXIT
cp dist/norvane/sample/qqwry.dat "$out.new/"
cd "$out.new"
echo "== converting the bundled sample (dist/norvane/sample/qqwry.dat) in $out"
echo "\$ norvane qqwry.dat gbwry.dat"
"$norvane" qqwry.dat gbwry.dat
echo "\$ norvane /o qqwry.dat gbwry-old.dat"
"$norvane" /o qqwry.dat gbwry-old.dat
echo "\$ norvane-query verify gbwry.dat"
"$query" verify gbwry.dat
echo "\$ norvane-query lookup gbwry.dat 1.0.0.1 1.2.3.4 36.1.2.3 202.96.0.1 255.255.255.255"
"$query" lookup gbwry.dat 1.0.0.1 1.2.3.4 36.1.2.3 202.96.0.1 255.255.255.255 ||
  [ $? -eq 1 ] # 1: some address is not covered
cd "$root"
rm -rf "$out"
mv "$out.new" "$out"
trap - EXIT

echo
echo "programs run:"
echo "  $norvane"
echo "  $query"
echo "results in $out:"
for f in "$out"/*; do
  name=${f##*/}
  case $name in
    qqwry.dat) what="the sample, copied" ;;
    gbwry.dat) what="converted, new layout" ;;
    gbwry-old.dat) what="converted, old layout (/o)" ;;
    *) what= ;;
  esac
  printf '  %-16s %8d bytes  %s\n' "$name" "$(stat -c %s "$f")" "$what"
done
echo "try next:"
printf '  %q lookup %q 8.8.8.8 114.114.114.114\n' "$query" "$out/gbwry.dat"
printf "  echo 'from 1.2.3.4 to 202.96.0.1' | %q annotate %q\n" "$query" "$out/gbwry.dat"
