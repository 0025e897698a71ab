#!/usr/bin/env bash
# A virtual X display with two monitors in a real layout, for the multi-monitor capture tests: Xorg
# with the dummy video driver (from a config generated in DIR), its monitors placed with xrandr.
# Wine shows them as two monitors, with the primary at (0, 0); no Wine setting is needed. Needs
# root (Xorg) and xserver-xorg-video-dummy, x11-xserver-utils, x11-utils.
#
#   two-monitor-server.sh start DIR LAYOUT [NUMBER]   starts the server (on display NUMBER, else
#                                                     the first free one from 40), lays it out,
#                                                     waits until it answers, prints ":N"
#   two-monitor-server.sh layout DIR LAYOUT           lays out the running server anew
#   two-monitor-server.sh stop DIR                    stops it and removes DIR
#
# LAYOUT (the primary is DUMMY0, 1024 x 768 but in "wide"; positions as Wine reports them):
#   right   a 1280 x 1024 monitor right of the primary, at (1024, 0): a dead zone below the primary
#   left    an 800 x 600 monitor left of it, at (-800, 0): negative x, a dead zone below it
#   above   a 1024 x 768 monitor above it and 200 pixels to the right, at (200, -768): negative y,
#           dead zones at the top left and the bottom right
#   wide    two 1920 x 1080 monitors side by side, the primary left (for the benchmark)
#   single  the primary alone
set -euo pipefail

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2
    exit 2
}

# The xrandr arguments of a layout (X positions: the leftmost and topmost monitor at 0).
layout_args() {
    case $1 in
    right) echo "--output DUMMY0 --mode 1024x768 --pos 0x0 --primary --output DUMMY1 --mode 1280x1024 --pos 1024x0" ;;
    left) echo "--output DUMMY0 --mode 1024x768 --pos 800x0 --primary --output DUMMY1 --mode 800x600 --pos 0x0" ;;
    above) echo "--output DUMMY0 --mode 1024x768 --pos 0x768 --primary --output DUMMY1 --mode 1024x768 --pos 200x0" ;;
    wide) echo "--output DUMMY0 --mode 1920x1080 --pos 0x0 --primary --output DUMMY1 --mode 1920x1080 --pos 1920x0" ;;
    single) echo "--output DUMMY0 --mode 1024x768 --pos 0x0 --primary --output DUMMY1 --off" ;;
    *) echo "unknown layout $1" >&2; return 2 ;;
    esac
}

apply_layout() {
    local display=$1 layout=$2 args mode
    args=$(layout_args "$layout")
    # Every mode must be known to the output that shows it; the driver lists them all on DUMMY0.
    for mode in 1024x768 1280x1024 800x600 1920x1080; do
        xrandr -d "$display" --addmode DUMMY1 "$mode" 2>/dev/null || true
    done
    # shellcheck disable=SC2086
    xrandr -d "$display" $args
    # A full query makes the server probe its outputs; until one has, clients that ask for the
    # current configuration only (Wine does) may still see a single monitor.
    xrandr -d "$display" >/dev/null
}

write_config() {
    cat >"$1/xorg.conf" <<'EOF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 4096 2048
    EndSubSection
EndSection
EOF
}

free_display() {
    local n
    for n in $(seq 40 99); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo "$n"; return 0; }
    done
    return 1
}

start() {
    local dir=$1 layout=$2 number=${3:-} pid
    layout_args "$layout" >/dev/null
    mkdir -p "$dir/conf.d"
    write_config "$dir"
    [ -n "$number" ] || number=$(free_display)
    Xorg ":$number" -config "$dir/xorg.conf" -configdir "$dir/conf.d" -noreset -nolisten tcp \
        -logfile "$dir/xorg.log" >"$dir/xorg.out" 2>&1 </dev/null &
    pid=$!
    echo "$pid" >"$dir/xorg.pid"
    echo ":$number" >"$dir/display"
    for _ in $(seq 100); do
        if xdpyinfo -display ":$number" >/dev/null 2>&1; then
            apply_layout ":$number" "$layout"
            echo ":$number"
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "Xorg on :$number did not start (see $dir/xorg.log)" >&2
    stop "$dir"
    return 1
}

stop() {
    local dir=$1 pid
    if [ -f "$dir/xorg.pid" ]; then
        pid=$(cat "$dir/xorg.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}

case ${1:-} in
start) [ $# -ge 3 ] || usage; start "$2" "$3" "${4:-}" ;;
layout) [ $# -eq 3 ] || usage; apply_layout "$(cat "$2/display")" "$3" ;;
stop) [ $# -eq 2 ] || usage; stop "$2" ;;
*) usage ;;
esac
