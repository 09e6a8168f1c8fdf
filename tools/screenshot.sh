#!/bin/bash
# Makes the README screenshots from the built program, run under Xvfb on a
# temporary copy of data/:
#   docs/screenshot.png        the series list screen
#   docs/screenshot-board.png  the first problem of the first series, with
#                              its first item dragged into a group frame
# Builds nothing. Needs xvfb, xdotool, x11-utils and imagemagick.
#
# Usage: tools/screenshot.sh [path-to-velmorant]   (default: build/velmorant)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
TITLE="用語分類問題集 Velmorant"

# Waits for a top-level window whose name starts with $1; prints its id.
wait_for_window() {
    for _ in $(seq 100); do
        local id
        id=$(xwininfo -root -tree 2>/dev/null |
            awk -v prefix="\"$1" 'index($0, " " prefix) { print $1; exit }')
        if [ -n "$id" ] && xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "screenshot: no window \"$1\" appeared" >&2
    return 1
}

inside_xvfb() {
    local program=$1 work=$2 docs=$3
    cd "$work"
    "$program" >/dev/null 2>&1 &
    pid=$!
    trap 'kill "$pid" 2>/dev/null || true' EXIT

    local win wx wy
    win=$(wait_for_window "$TITLE")
    wx=$(xwininfo -id "$win" | awk '/Absolute upper-left X:/ { print $NF }')
    wy=$(xwininfo -id "$win" | awk '/Absolute upper-left Y:/ { print $NF }')
    sleep 0.5
    import -window "$win" "$docs/screenshot.png"

    # The first series is the second list entry; each entry is 17 px high
    # and the list's top is 188 px down.
    xdotool mousemove $((wx + 240)) $((wy + 188 + 2 + 17 + 8)) click --repeat 2 --delay 80 1
    sleep 0.5
    win=$(wait_for_window "$TITLE <")

    # Drag the first item (it stands at 24,48 px) into the first frame.
    xdotool mousemove $((wx + 34)) $((wy + 57)) mousedown 1
    for step in 1 2 3 4 5 6 7 8; do
        xdotool mousemove $((wx + 34 + step * 8)) $((wy + 57 + step * 25))
        sleep 0.02
    done
    xdotool mouseup 1
    sleep 0.5
    import -window "$win" "$docs/screenshot-board.png"

    kill "$pid" 2>/dev/null || true
    trap - EXIT
}

if [ "${1:-}" = --inside-xvfb ]; then
    shift
    inside_xvfb "$@"
    exit 0
fi

program=$(realpath "${1:-$root/build/velmorant}")
[ -x "$program" ] || {
    echo "screenshot: no program at $program (build it first)" >&2
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$root/data/." "$work/"
mkdir -p "$root/docs"

xvfb-run -a -s "-screen 0 1024x768x24" bash "$(realpath "$0")" --inside-xvfb \
    "$program" "$work" "$root/docs"
echo "screenshot: wrote docs/screenshot.png and docs/screenshot-board.png"
