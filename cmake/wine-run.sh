#!/usr/bin/env bash
# CTest's emulator for the Windows builds:  wine-run.sh PREFIX PROGRAM [ARGS...]
# Runs PROGRAM under Wine in the private prefix PREFIX (made on first use) and passes its
# standard output through byte for byte, its standard error and its exit status.
# Wine's background processes inherit the output streams, so a pipe would stay open until
# wineserver exits: the program writes to files, which are copied out once it has ended.
# Needs DISPLAY for programs that use windows or GDI; scripts/test-windows.sh provides one.
set -u
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

bash "$(dirname "$0")/wine-prefix.sh" "$prefix" || exit 125

# The output files are kept beside the prefix, not in /tmp: a test that is killed leaves none there.
tmp=$(mktemp -d "$prefix.run.XXXXXX") || exit 125
trap 'rm -rf "$tmp"' EXIT
wine "$@" >"$tmp/out" 2>"$tmp/err"
status=$?
cat "$tmp/out"
cat "$tmp/err" >&2
exit $status
