#!/usr/bin/env bash
# The Windows builds and their tests (called by scripts/test.sh; also runs on its own, as root).
# Cross-builds the whole project with mingw-w64 for i686 (the target platform) and x86_64, then
# runs each build's tests through CTest under Wine, on a private virtual display. Both builds run
# in the one 64-bit Wine prefix of the build tree (build/wine-prefix, made once and kept), one
# build after the other: their dialog tests share the prefix's desktop, pointer and clipboard.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
arches=(i686 x86_64)
prefix=$root/build/wine-prefix

bash scripts/setup.sh --windows
mkdir -p build

# A 24-bit virtual display (exact colour checks fail at 16 bits); -displayfd picks a free number.
rm -f build/xvfb.display
x11_dir_was_there=$([ -d /tmp/.X11-unix ] && echo yes || true)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>build/xvfb.display 2>build/xvfb.log &
xvfb_pid=$!
prefix_jobs=()

cleanup() {
    for pid in "${prefix_jobs[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    bash cmake/wine-stop.sh "$prefix"
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    # Xvfb removes its socket and lock file, not the socket folder it made.
    [ -n "$x11_dir_was_there" ] || rmdir /tmp/.X11-unix 2>/dev/null
    return 0
}
trap cleanup EXIT

# Earlier runs made a prefix per build (1.3 GB each).
for arch in "${arches[@]}"; do
    rm -rf "build/$arch/wine-prefix" "build/$arch/wine-prefix.lock" "build/$arch/wine-prefix.log"
done
# The prefix is made while the code compiles; a new one takes 10 s or so.
bash cmake/wine-prefix.sh "$prefix" &
prefix_jobs+=($!)

for arch in "${arches[@]}"; do
    echo "== $arch Windows build (mingw-w64, warnings are errors)"
    cmake -S . -B "build/$arch" --toolchain "$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DNORVANE_WERROR=ON -DWINE_TEST_PREFIX="$prefix" >/dev/null
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

# A persistent wineserver and a warmed-up prefix make each test program start in a fraction of a
# second.
export WINEPREFIX=$prefix WINEDEBUG=-all
wineserver -p
wine wineboot </dev/null >/dev/null 2>&1
for arch in "${arches[@]}"; do
    echo "== $arch tests under Wine (display $DISPLAY, prefix $prefix)"
    objdump=$arch-w64-mingw32-objdump
    python3 cmake/check-pe-imports.py "$objdump" "build/$arch/dist/norvane/norvane.exe" \
        kernel32.dll msvcrt.dll
    ctest --test-dir "build/$arch" --output-on-failure -j"$jobs"
    # Ostrine on two monitors: an X server of its own per layout, started and stopped there.
    bash misc/Ostrine/tools/test-monitors.sh "build/$arch"
done
