#!/usr/bin/env bash
# Stops the wineserver of the Wine prefix PREFIX and removes the folder its socket was in:
#   wine-stop.sh PREFIX
# Debian's Wine keeps the socket in a folder made with mkdtemp under TMPDIR (or /tmp), whose name
# the prefix records in its file "wineserver"; the server leaves the folder behind when it exits.
set -u
prefix=$1
[ -d "$prefix" ] || exit 0
WINEPREFIX=$prefix wineserver -k 2>/dev/null
WINEPREFIX=$prefix wineserver -w 2>/dev/null
[ -f "$prefix/wineserver" ] || exit 0
name=$(cat "$prefix/wineserver")
case $name in
    wine-??????) ;;
    *) exit 0 ;; # not a folder of the kind that Wine makes: leave it
esac
dir=${TMPDIR:-/tmp}/$name
server=$dir/server-$(stat -c %D "$prefix")-$(printf '%x' "$(stat -c %i "$prefix")")
if [ -d "$server" ] && [ ! -e "$server/socket" ]; then
    rm -f "$server/lock"
    rmdir "$server" 2>/dev/null
fi
rmdir "$dir" 2>/dev/null
exit 0
