#!/usr/bin/env bash
# Runs the capture benchmark or makes the README's pictures, under Wine on a private virtual
# display (1024 x 768, 24-bit), with a Windows build of the top level (scripts/test-windows.sh
# makes build/i686 and build/x86_64):
#
#   bash misc/Ostrine/tools/run-under-wine.sh bench    [BUILD_DIR]   figures on standard output
#   bash misc/Ostrine/tools/run-under-wine.sh pictures [BUILD_DIR]   misc/Ostrine/docs/capture-*.png
#   bash misc/Ostrine/tools/run-under-wine.sh bench-monitors [BUILD_DIR]
#                                    opening with two 1920 x 1080 monitors against one (Xorg rig)
#
# BUILD_DIR defaults to build/i686. OSTRINE_SCREEN sets the display (default 1024x768); for the
# benchmark, OSTRINE_DLL runs it against another Ostrine.dll (an older build, for comparison),
# BENCH_CAPTURES, BENCH_MOVES and BENCH_WINDOWS set its sizes. The pictures use a prefix of their own in which the dialog
# font links to a Chinese font (Debian's fonts-wqy-microhei, installed when missing), so that the
# info box's text shows as text rather than as empty boxes.
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD
mode=${1:?usage: run-under-wine.sh bench|bench-monitors|pictures [BUILD_DIR]}
build=$(cd "${2:-build/i686}" && pwd)
bin=$build/misc/Ostrine
[ -f "$bin/Ostrine.dll" ] || { echo "no Ostrine.dll in $bin: build first" >&2; exit 1; }

work=$(mktemp -d)
display_file=$work/display
Xvfb -displayfd 3 -screen 0 "${OSTRINE_SCREEN:-1024x768}x24" -nolisten tcp 3>"$display_file" 2>"$work/xvfb.log" &
xvfb_pid=$!
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && bash cmake/wine-stop.sh "$WINEPREFIX"
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ -d "$work/two-monitor-server" ] && bash misc/Ostrine/tools/two-monitor-server.sh stop "$work/two-monitor-server"
    rm -rf "$work"
    return 0
}
trap cleanup EXIT
for _ in $(seq 50); do
    [ -s "$display_file" ] && break
    sleep 0.1
done
export DISPLAY=:$(cat "$display_file") WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

case $mode in
bench)
    export WINEPREFIX=$root/build/wine-prefix # the tests' prefix
    bash cmake/wine-prefix.sh "$WINEPREFIX"
    wineserver -p 2>/dev/null || true
    wine wineboot </dev/null >/dev/null 2>&1
    if [ -n "${OSTRINE_DLL:-}" ]; then
        mkdir -p "$work/bin"
        cp "$bin/ostrine_capture_bench.exe" "$work/bin/"
        cp "$OSTRINE_DLL" "$work/bin/Ostrine.dll"
        bin=$work/bin
    fi
    (cd "$bin" && wine ostrine_capture_bench.exe "${BENCH_CAPTURES:-20}" "${BENCH_MOVES:-500}" \
        "${BENCH_WINDOWS:-30}" \
        >"$work/out" 2>"$work/err") || { cat "$work/out" "$work/err"; exit 1; }
    cat "$work/out"
    ;;
bench-monitors)
    # Two 1920 x 1080 monitors side by side on the Xorg rig instead of Xvfb.
    export WINEPREFIX=$build/wine-prefix
    bash cmake/wine-prefix.sh "$WINEPREFIX"
    rig_dir=$work/two-monitor-server
    DISPLAY=$(bash misc/Ostrine/tools/two-monitor-server.sh start "$rig_dir" wide \
        ${OSTRINE_MONITOR_DISPLAY:-})
    wineserver -p 2>/dev/null || true
    wine wineboot </dev/null >/dev/null 2>&1
    (cd "$bin" && wine ostrine_capture_bench.exe "${BENCH_CAPTURES:-20}" "${BENCH_MOVES:-500}" \
        "${BENCH_WINDOWS:-30}" --monitors \
        >"$work/out" 2>"$work/err") || { cat "$work/out" "$work/err"; exit 1; }
    cat "$work/out"
    ;;
pictures)
    if ! fc-list :lang=zh | grep -q .; then
        . scripts/lib/install.sh
        install_packages fonts-wqy-microhei
    fi
    export WINEPREFIX=$root/build/pictures-prefix
    bash cmake/wine-prefix.sh "$WINEPREFIX"
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f \
        >/dev/null 2>&1 </dev/null
    wineserver -w
    (cd "$bin" && wine ostrine_capture_pictures.exe 'Z:'"$work" \
        >"$work/out" 2>"$work/err") || { cat "$work/out" "$work/err"; exit 1; }
    cat "$work/out"
    docs=$root/misc/Ostrine/docs
    mkdir -p "$docs"
    for name in hover drag adjust result markup markup-result; do
        python3 misc/Ostrine/tools/bmp_to_png.py "$work/$name.bmp" "$docs/capture-$name.png"
        echo "wrote $docs/capture-$name.png"
    done
    # The same desktop on two monitors (the second right of the primary, larger, with the part
    # below the primary on no monitor), on an X server of its own: a band across both.
    wineserver -k 2>/dev/null || true
    rig_dir=$work/two-monitor-server
    DISPLAY=$(bash misc/Ostrine/tools/two-monitor-server.sh start "$rig_dir" right \
        ${OSTRINE_MONITOR_DISPLAY:-})
    (cd "$bin" && wine ostrine_capture_pictures.exe 'Z:'"$work" --two-monitors \
        >"$work/out" 2>"$work/err") || { cat "$work/out" "$work/err"; exit 1; }
    cat "$work/out"
    wineserver -k 2>/dev/null || true
    bash misc/Ostrine/tools/two-monitor-server.sh stop "$rig_dir"
    for name in drag result; do
        python3 misc/Ostrine/tools/bmp_to_png.py "$work/monitors-$name.bmp" \
            "$docs/capture-monitors-$name.png"
        echo "wrote $docs/capture-monitors-$name.png"
    done
    ;;
*)
    echo "usage: run-under-wine.sh bench|bench-monitors|pictures [BUILD_DIR]" >&2
    exit 2
    ;;
esac
