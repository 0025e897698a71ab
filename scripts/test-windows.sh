#!/usr/bin/env bash
# The Windows builds and their tests (called by scripts/test.sh; also runs on its own, as root).
# Cross-builds the whole project with mingw-w64 for i686 (the target platform) and x86_64, then
# runs each build's tests through CTest under Wine, on a private virtual display, each build in its
# own Wine prefix (build/<arch>/wine-prefix, made once and kept).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
arches=(i686 x86_64)

bash scripts/setup.sh --windows
mkdir -p build

# A 24-bit virtual display (exact colour checks fail at 16 bits); -displayfd picks a free number.
rm -f build/xvfb.display
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>build/xvfb.display 2>build/xvfb.log &
xvfb_pid=$!
prefix_jobs=()

cleanup() {
    for pid in "${prefix_jobs[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    for arch in "${arches[@]}"; do
        [ -d "build/$arch/wine-prefix" ] && WINEPREFIX=$root/build/$arch/wine-prefix wineserver -k 2>/dev/null || true
    done
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Prefixes are made while the code compiles; a new one takes 10 s or so.
for arch in "${arches[@]}"; do
    mkdir -p "build/$arch"
    bash cmake/wine-prefix.sh "$root/build/$arch/wine-prefix" &
    prefix_jobs+=($!)
done

for arch in "${arches[@]}"; do
    echo "== $arch Windows build (mingw-w64, warnings are errors)"
    cmake -S . -B "build/$arch" --toolchain "$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DNORVANE_WERROR=ON >/dev/null
    cmake --build "build/$arch" -j"$jobs"
done

for pid in "${prefix_jobs[@]}"; do
    wait "$pid"
done
prefix_jobs=()
for _ in $(seq 50); do
    [ -s build/xvfb.display ] && break
    sleep 0.1
done
export DISPLAY=:$(cat build/xvfb.display)

for arch in "${arches[@]}"; do
    echo "== $arch tests under Wine (display $DISPLAY)"
    # A persistent wineserver and a warmed-up prefix make each test program start in a fraction
    # of a second.
    export WINEPREFIX=$root/build/$arch/wine-prefix WINEDEBUG=-all
    wineserver -p
    wine wineboot </dev/null >/dev/null 2>&1
    objdump=$arch-w64-mingw32-objdump
    python3 cmake/check-pe-imports.py "$objdump" "build/$arch/dist/norvane/norvane.exe" \
        kernel32.dll msvcrt.dll
    ctest --test-dir "build/$arch" --output-on-failure -j"$jobs"
    # Ostrine on two monitors: an X server of its own per layout, started and stopped there.
    bash misc/Ostrine/tools/test-monitors.sh "build/$arch"
    # test-monitors.sh has stopped the wineserver already.
    wineserver -k 2>/dev/null || true
    unset WINEPREFIX
done
