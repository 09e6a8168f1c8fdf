# Shared by the tests that run the built program in a real X server (Xvfb).
# A test sets TEST_NAME, defines inside_xvfb PROGRAM WORK-DIR SCRATCH-DIR,
# sources this file and ends with: window_test_main "$@".

# How long a wait for the window goes on: each wait ends as soon as what it
# waits for is there, and a machine busy with other tests can take seconds
# to paint.
WAIT_SECONDS=15

# The clock is moved with libfaketime preloaded, never through the faketime
# command: that one runs the program as a child, so ending it leaves the
# program running, and a killed one leaves its semaphore behind for the
# next with its process number.
FAKETIME_LIB=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -1)

# Writes to $1 a script that runs the rest of the arguments, and its own,
# with the clock at $2 ("+3d", or "@2026-12-03 10:00:00"); the script's
# process is the command's.
clock_wrapper() {
    local script=$1 at=$2
    shift 2
    printf '#!/bin/sh\nFAKETIME=%q LD_PRELOAD=%q exec' "$at" "$FAKETIME_LIB" >"$script"
    printf ' %q' "$@" >>"$script"
    printf ' "$@"\n' >>"$script"
    chmod +x "$script"
}

fail() {
    echo "$TEST_NAME: FAIL: $*" >&2
    exit 1
}

# The id of the top-level window whose name is exactly $1, or nothing.
window_named() {
    xwininfo -root -tree 2>/dev/null |
        awk -v name="\"$1\":" '$2 == name || index($0, " " name " ") { print $1; exit }'
}

# Waits up to 10 s for the window named $1 to be shown and prints its id.
wait_for_window() {
    local id="" end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        id=$(window_named "$1")
        if [ -n "$id" ] && xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# The colour of pixel (x, y) of image $1, as RRGGBB.
image_pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- |
        grep -o '#[0-9A-Fa-f]\{6\}' | head -1 | tr -d '#' | tr 'a-f' 'A-F'
}

# "X Y W H" of a window: absolute position of its client area and its size.
geometry_of() {
    xwininfo -id "$1" | awk '
        /Absolute upper-left X:/ { x = $NF }
        /Absolute upper-left Y:/ { y = $NF }
        /^ *Width:/ { w = $NF }
        /^ *Height:/ { h = $NF }
        END { print x, y, w, h }'
}

# Starts PROGRAM ($1) with its output in $2 and waits for its main window:
# sets pid (killed when the test ends), win and the client area's wx wy ww wh.
start_program() {
    program_log=$2
    "$1" >"$2" 2>&1 &
    pid=$!
    trap 'kill "$pid" 2>/dev/null || true' EXIT
    win=$(wait_for_window "$TITLE") || fail "no window titled \"$TITLE\" appeared"
    read -r wx wy ww wh < <(geometry_of "$win")
}

# Runs "$@" with DISPLAY set to an Xvfb of its own. The server picks a free
# display itself (-displayfd), so tests that run at the same time never share
# one or race for the same number, as xvfb-run -a can. It never resets
# between clients, so a program started just as the last one ends finds it.
run_in_xvfb() {
    local fifo display xpid rc=0 xlog
    fifo=$(mktemp -u)
    xlog=$(mktemp)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" 2>"$xlog" &
    xpid=$!
    read -r display <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$display" ] || ! kill -0 "$xpid" 2>/dev/null; then
        echo "$TEST_NAME: Xvfb did not start: $(tail -5 "$xlog")" >&2
        rm -f "$xlog"
        return 1
    fi
    DISPLAY=:$display "$@" || rc=$?
    # A server that ended under the test explains its failure.
    if ! kill -0 "$xpid" 2>/dev/null; then
        echo "$TEST_NAME: Xvfb :$display ended during the test: $(tail -5 "$xlog")" >&2
    fi
    kill "$xpid" 2>/dev/null
    wait "$xpid" 2>/dev/null || true
    rm -f "$xlog"
    return "$rc"
}

# Outside: checks the tools, copies the data to a fresh scratch folder and
# runs the script again inside a new Xvfb. Inside: runs inside_xvfb.
window_test_main() {
    if [ "${1:-}" = --inside-xvfb ]; then
        shift
        inside_xvfb "$@"
        exit 0
    fi
    if [ $# -ne 3 ]; then
        echo "usage: bash $TEST_NAME.sh <velmorant> <data-dir> <scratch-dir>" >&2
        exit 2
    fi
    local tool
    for tool in Xvfb xdotool xwininfo import convert; do
        if ! command -v "$tool" >/dev/null; then
            echo "$TEST_NAME: $tool is missing (packages xvfb, xdotool, x11-utils, imagemagick)" >&2
            exit 2
        fi
    done
    local program data scratch
    program=$(realpath "$1")
    data=$(realpath "$2")
    scratch=$3
    [ -x "$program" ] || fail "no program at $program"
    rm -rf "$scratch"
    mkdir -p "$scratch/work"
    scratch=$(realpath "$scratch")
    cp -R "$data/." "$scratch/work/"

    run_in_xvfb bash "$(realpath "$0")" --inside-xvfb \
        "$program" "$scratch/work" "$scratch"
    echo "$TEST_NAME: PASS (screenshots in $scratch)"
}

# The colour of client pixel (x, y) of the program's window, as RRGGBB, from
# a fresh screenshot saved as $3. Needs wx and wy from start_program.
pixel() {
    import -window root "$3"
    image_pixel "$3" $((wx + $1)) $((wy + $2))
}

# Waits until client pixel (x, y) has colour $3 (with $5 "not", any other);
# $4 names the screenshot.
wait_for_pixel() {
    local got="" end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        got=$(pixel "$1" "$2" "$4")
        if [ "${5:-}" = not ]; then
            [ "$got" != "$3" ] && return 0
        elif [ "$got" = "$3" ]; then
            return 0
        fi
        sleep 0.1
    done
    echo "pixel ($1,$2) is #$got, ${5:+not }#$3 expected" >&2
    return 1
}

# Waits until the program's window takes a title other than the series
# list's ($TITLE); prints the title it has then.
wait_for_new_title() {
    local name="" end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        name=$(xdotool getwindowname "$win")
        [ "$name" != "$TITLE" ] && break
        sleep 0.1
    done
    echo "$name"
}

# Ends the program start_program started and waits for it: its window
# is gone then, or another process still draws it. Qt's word that another
# thread was taken for the main one (a window that then lets input go) is
# a fault, seen most often on a busy machine.
end_program() {
    kill "$pid"
    trap - EXIT
    wait "$pid" 2>/dev/null || true
    ! xwininfo -id "$win" >/dev/null 2>&1 || fail "the window stayed after its program ended"
    ! grep -q "not created in the main() thread" "$program_log" ||
        fail "Qt took another thread for the main one ($program_log)"
}

# Opens the list's last entry as a learner does: a click on the list, then
# End and Return; sets name to the window's title then. The keys are sent
# once the window has the X input focus: keys sent while a busy program has
# not taken it yet go nowhere.
open_last_entry() {
    xdotool mousemove $((wx + 240)) $((wy + 213)) click 1
    xdotool windowfocus --sync "$win"
    xdotool key End Return
    name=$(wait_for_new_title)
}

# A click at (x, y) of the window, in pixels from its top-left corner.
click_at() {
    xdotool mousemove $((wx + $1)) $((wy + $2)) click 1
    sleep 0.15
}

# Problem 1 of the first bundled series: ten terms in a row, four arthropods,
# three molluscs, three echinoderms, in that order, over three frames.
term_x=(55 115 168 234 292 344 415 480 531 590)
frame_of=(0 0 0 0 1 1 1 2 2 2)
frame_x=(100 310 515)
term_y=57 frame_y=300
