#!/usr/bin/env bash
# The two-monitor capture tests of one Windows build, on an X server of their own (Xorg with the
# dummy driver, tools/two-monitor-server.sh), once per layout: right (dead zones), left (negative
# x), above (negative y). Called by scripts/test-windows.sh for each build, with WINEPREFIX set to
# that build's prefix; runs on its own too (as root):
#
#   bash misc/Ostrine/tools/test-monitors.sh BUILD_DIR      e.g. build/i686
#
# The server is stopped on any exit. The wineserver of the prefix is restarted on the server's
# display (the Wine desktop belongs to one display) and stopped again at the end; a persistent one
# that was running before is started again then. The layout change
# in mid-capture uses the x86_64 build's mode switch helper when it has been built.
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD
build=$(cd "${1:?usage: test-monitors.sh BUILD_DIR}" && pwd)
: "${WINEPREFIX:?set WINEPREFIX to the Wine prefix of the build}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
rig=misc/Ostrine/tools/two-monitor-server.sh
server=$build/two-monitor-server
tests=$build/misc/Ostrine/ostrine_monitor_tests.exe
# The mark-up's toolbar on the second monitor (one test of that program).
markup=$build/misc/Ostrine/ostrine_markup_tests.exe
[ -f "$tests" ] || { echo "no $tests: build first" >&2; exit 1; }

# A persistent wineserver that the caller kept (on its own display) is stopped here and started
# again at the end, so that the caller finds one as it left it.
had_server=0
cleanup() {
    wineserver -k 2>/dev/null || true
    bash "$rig" stop "$server"
    if [ $had_server = 1 ]; then
        wineserver -p
    fi
}
trap cleanup EXIT
wineserver -k 2>/dev/null && had_server=1
bash "$rig" stop "$server"
# OSTRINE_MONITOR_DISPLAY picks the display number; else the first free one from 40.
DISPLAY=$(bash "$rig" start "$server" right ${OSTRINE_MONITOR_DISPLAY:-})
export DISPLAY

switch=$root/build/x86_64/misc/Ostrine/ostrine_display_switch.exe
if [ -f "$switch" ]; then
    switch_windows=Z:${switch//\//\\}
    export OSTRINE_DISPLAY_SWITCH=$switch_windows
fi

status=0
for layout in right left above; do
    echo "== two monitors, layout $layout (display $DISPLAY)"
    bash "$rig" layout "$server" "$layout" >/dev/null
    wineserver -k 2>/dev/null || true
    wineserver -p
    wine wineboot </dev/null >/dev/null 2>&1
    OSTRINE_LAYOUT=$layout bash cmake/wine-run.sh "$WINEPREFIX" "$tests" || status=1
    if [ -f "$markup" ]; then
        OSTRINE_LAYOUT=$layout bash cmake/wine-run.sh "$WINEPREFIX" "$markup" \
            --gtest_filter='*TwoMonitors*' || status=1
    fi
done
exit $status
