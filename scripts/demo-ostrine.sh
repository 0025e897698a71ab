#!/usr/bin/env bash
# Try the capture library: builds Ostrine.dll and the example host for 32-bit Windows and runs one
# capture under Wine (as root on a fresh Debian 12 machine; installs what is missing).
#
#   bash scripts/demo-ostrine.sh            on your display when DISPLAY is set: drag a rectangle
#                                           (or click a window), adjust it, press Enter (Esc or
#                                           the right button cancels); the size of the returned
#                                           bitmap is printed and the bitmap saved as a PNG
#   bash scripts/demo-ostrine.sh --virtual  on a virtual display with scripted input: saves what
#                                           the screen showed at each step and the result as PNGs
#   bash scripts/demo-ostrine.sh --two-monitors
#                                           on a virtual display with two monitors (Xorg with the
#                                           dummy driver, the second right of the primary) with
#                                           scripted input: a band across both monitors; saves the
#                                           whole desktop during the drag and the result as PNGs
#
# The PNGs go to build/demo-ostrine/out (or OUT=folder).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=own
if [ "${1:-}" = "--two-monitors" ]; then
    mode=monitors
elif [ "${1:-}" = "--virtual" ] || [ -z "${DISPLAY:-}" ]; then
    mode=virtual
fi

bash scripts/setup.sh --windows
build=$root/build/demo-ostrine
out=${OUT:-$build/out}
mkdir -p "$build" "$out"
out=$(cd "$out" && pwd)
echo "== building Ostrine.dll and the example host for i686"
cmake -S misc/Ostrine -B "$build" --toolchain "$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target Ostrine ostrine_example_host ostrine_capture_pictures \
    >"$build/build.log" 2>&1 || { tail -40 "$build/build.log"; exit 1; }

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -d "$work/two-monitor-server" ] &&
        bash misc/Ostrine/tools/two-monitor-server.sh stop "$work/two-monitor-server"
    rm -rf "$work"
}
trap cleanup EXIT

if [ $mode = virtual ]; then
    # A 24-bit display of its own; -displayfd picks a free number.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    export DISPLAY=:$(cat "$work/display")
elif [ $mode = monitors ]; then
    DISPLAY=$(bash misc/Ostrine/tools/two-monitor-server.sh start "$work/two-monitor-server" right \
        ${OSTRINE_MONITOR_DISPLAY:-})
    export DISPLAY
fi

echo "== preparing the Wine prefix (the first run takes a few seconds)"
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bash cmake/wine-prefix.sh "$WINEPREFIX"
# The info box is Chinese: the dialog font falls back to a Chinese font for its characters.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 </dev/null
wineserver -w

bin=$build
status=0
if [ $mode = own ]; then
    echo "== capture on $DISPLAY: drag a rectangle or click a window, adjust it with the mouse or"
    echo "   the arrow keys, and press Enter (or double-click). Esc or the right button cancels."
    (cd "$bin" && wine ostrine_example_host.exe capture 'Z:'"$work/result.bmp" \
        >"$work/out" 2>"$work/err") || status=$?
    cat "$work/out"
    if [ -f "$work/result.bmp" ]; then
        python3 misc/Ostrine/tools/bmp_to_png.py "$work/result.bmp" "$out/result.png"
        echo "result: $out/result.png"
    elif [ $status -ne 0 ]; then
        cat "$work/err" >&2
        exit $status
    fi
elif [ $mode = monitors ]; then
    echo "== capture on the two-monitor virtual display $DISPLAY with scripted input"
    (cd "$bin" && wine ostrine_capture_pictures.exe 'Z:'"$work" --two-monitors \
        ostrine_example_host.exe capture 'Z:'"$work/result.bmp" \
        >"$work/out" 2>"$work/err") || status=$?
    cat "$work/out"
    for name in monitors-drag result; do
        if [ -f "$work/$name.bmp" ]; then
            python3 misc/Ostrine/tools/bmp_to_png.py "$work/$name.bmp" "$out/$name.png"
            echo "$name: $out/$name.png"
        fi
    done
    if [ $status -ne 0 ]; then
        echo "the scripted capture did not go through every step (exit status $status)" >&2
        exit $status
    fi
else
    echo "== capture on the virtual display $DISPLAY with scripted input"
    (cd "$bin" && wine ostrine_capture_pictures.exe 'Z:'"$work" \
        ostrine_example_host.exe capture 'Z:'"$work/result.bmp" \
        >"$work/out" 2>"$work/err") || status=$?
    cat "$work/out"
    for name in hover drag adjust result; do
        if [ -f "$work/$name.bmp" ]; then
            python3 misc/Ostrine/tools/bmp_to_png.py "$work/$name.bmp" "$out/$name.png"
            echo "$name: $out/$name.png"
        fi
    done
    if [ $status -ne 0 ]; then
        echo "the scripted capture did not go through every step (exit status $status)" >&2
        exit $status
    fi
fi
