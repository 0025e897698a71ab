#!/usr/bin/env bash
# Creates the Wine prefix PREFIX once, quietly (no Mono or Gecko installers), and tells Wine's X11
# driver not to wait for a window manager: without that every dialog end stalls for 2 s.
# Safe to call from parallel tests: the first caller creates it, the others wait.
set -eu
prefix=$1
[ -f "$prefix/.rig-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.rig-ready" ] && exit 0
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log=$prefix.log
wineboot -i >"$log" 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1 </dev/null
touch "$prefix/.rig-ready"
