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
# The PNGs go to build/demo-ostrine/out (or OUT=folder), replaced on every run.
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

# Wine writes its bitmaps to $build/bitmaps; the PNGs made from them are the results, in $out.
# Both are emptied of them first, so every run replaces the previous results.
names=(hover drag adjust result)
work=$build/bitmaps
rm -rf "$work"
mkdir -p "$work"
for name in "${names[@]}"; do
    rm -f "$out/$name.png"
done
xvfb_pid=
x11_dir_was_there=$([ -d /tmp/.X11-unix ] && echo yes || true)
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && bash cmake/wine-stop.sh "$WINEPREFIX"
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
        # Xvfb removes its socket and lock file, not the socket folder it made.
        [ -n "$x11_dir_was_there" ] || rmdir /tmp/.X11-unix 2>/dev/null
    fi
    [ -d "$build/two-monitor-server" ] &&
        bash misc/Ostrine/tools/two-monitor-server.sh stop "$build/two-monitor-server"
    return 0
}
trap cleanup EXIT

if [ $mode = virtual ]; then
    # A 24-bit display of its own; -displayfd picks a free number.
    rm -f "$build/xvfb.display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$build/xvfb.display" \
        2>"$build/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -s "$build/xvfb.display" ] && break
        sleep 0.1
    done
    export DISPLAY=:$(cat "$build/xvfb.display")
elif [ $mode = monitors ]; then
    DISPLAY=$(bash misc/Ostrine/tools/two-monitor-server.sh start "$build/two-monitor-server" right \
        ${OSTRINE_MONITOR_DISPLAY:-})
    export DISPLAY
fi

echo "== preparing the Wine prefix $build/wine-prefix (the first run takes a few seconds)"
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bash cmake/wine-prefix.sh "$WINEPREFIX"
# The info box is Chinese: the dialog font falls back to a Chinese font for its characters.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 </dev/null
wineserver -w

# The host names its bitmap by its Wine path (Z: is the root): shown as the Unix path.
unix_paths() { sed 's|Z:/|/|g'; }
bin=$build
status=0
if [ $mode = own ]; then
    echo "== capture on $DISPLAY: drag a rectangle or click a window, adjust it with the mouse or"
    echo "   the arrow keys, and press Enter (or double-click). Esc or the right button cancels."
    (cd "$bin" && wine ostrine_example_host.exe capture 'Z:'"$work/result.bmp" \
        >"$build/host.out" 2>"$build/host.err") || status=$?
    unix_paths <"$build/host.out"
    if [ ! -f "$work/result.bmp" ] && [ $status -ne 0 ]; then
        cat "$build/host.err" >&2
        exit $status
    fi
elif [ $mode = monitors ]; then
    echo "== capture on the two-monitor virtual display $DISPLAY with scripted input"
    names=(monitors-drag result)
    (cd "$bin" && wine ostrine_capture_pictures.exe 'Z:'"$work" --two-monitors \
        ostrine_example_host.exe capture 'Z:'"$work/result.bmp" \
        >"$build/host.out" 2>"$build/host.err") || status=$?
    unix_paths <"$build/host.out"
else
    echo "== capture on the virtual display $DISPLAY with scripted input"
    (cd "$bin" && wine ostrine_capture_pictures.exe 'Z:'"$work" \
        ostrine_example_host.exe capture 'Z:'"$work/result.bmp" \
        >"$build/host.out" 2>"$build/host.err") || status=$?
    unix_paths <"$build/host.out"
fi
for name in "${names[@]}"; do
    if [ -f "$work/$name.bmp" ]; then
        python3 misc/Ostrine/tools/bmp_to_png.py "$work/$name.bmp" "$out/$name.png"
    fi
done
if [ $status -ne 0 ]; then
    echo "the scripted capture did not go through every step (exit status $status); its errors:" \
        "$build/host.err" >&2
fi
echo
echo "programs run (under Wine, prefix $WINEPREFIX):"
echo "  $bin/Ostrine.dll"
echo "  $bin/ostrine_example_host.exe"
[ $mode = own ] || echo "  $bin/ostrine_capture_pictures.exe"
results=()
for name in "${names[@]}"; do
    [ -f "$out/$name.png" ] && results+=("$name.png")
done
if [ ${#results[@]} -gt 0 ]; then
    echo "results in $out:"
    for f in "${results[@]}"; do
        printf '  %-12s %9d bytes\n' "$f" "$(stat -c %s "$out/$f")"
    done
else
    echo "no results (nothing was captured)"
fi
exit $status
