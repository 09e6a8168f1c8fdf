#!/bin/bash
# Runs the built program, unchanged, in a real X server (Xvfb) on a copy of
# the bundled data and solves the first problem of a series with single
# clicks: a click on a term picks it up, a click on a frame or its caption
# puts it there, a click beside the frames puts it back. No button is ever
# held while the pointer moves. Screenshots are left in the scratch directory.
#
# Usage: bash click_window_test.sh <velmorant> <data-dir> <scratch-dir>
set -euo pipefail

TITLE="用語分類問題集 Velmorant"

TEST_NAME=click_window_test
. "$(dirname "$(realpath "$0")")/window_test_lib.sh"

click_at() {
    xdotool mousemove $((wx + $1)) $((wy + $2)) click 1
    sleep 0.15
}

inside_xvfb() {
    local program=$1 work=$2 out=$3
    cd "$work"
    local win wx wy ww wh
    start_program "$program" "$out/program.log"
    wait_for_pixel 5 5 C0FFFF "$out/series-list.png" || fail "the window did not paint"

    # The second entry of the list is the first series.
    xdotool mousemove $((wx + 240)) $((wy + 213)) click --repeat 2 --delay 80 1
    local name
    name=$(wait_for_new_title)
    [[ "$name" == *"動物の多様性と分類"* ]] || fail "a double click did not open the series (title \"$name\")"

    # Problem 1: ten terms in a row, four arthropods, three molluscs, three
    # echinoderms, in that order, over three frames.
    local -a term_x=(55 115 168 234 292 344 415 480 531 590) frame_of=(0 0 0 0 1 1 1 2 2 2)
    local -a frame_x=(100 310 515)
    local term_y=57 frame_y=300 panel_x=73 panel_y=88
    local edge_x=7 # on the highlight inside the first frame's border
    # A click picks the first term up where it lies: white, its frame
    # highlighted. A click beside the frames puts it back.
    click_at "${term_x[0]}" $term_y
    wait_for_pixel 28 $term_y FFFFFF "$out/picked-up.png" || fail "a click did not pick the term up"
    [ "$(pixel $edge_x $frame_y "$out/picked-up.png")" = 0000FF ] ||
        fail "no highlight on the frame of the picked-up term"
    [ "$(pixel "${term_x[0]}" 120 "$out/picked-up.png")" = C0FFFF ] ||
        fail "the picked-up term moved"
    click_at 300 110
    wait_for_pixel 28 $term_y FFFFFF "$out/put-back.png" not ||
        fail "a click beside the frames did not put the term back"
    [ "$(pixel $edge_x $frame_y "$out/put-back.png")" != 0000FF ] || fail "the highlight stayed"
    echo "a click picked a term up and a click beside the frames put it back"

    # Every term into its frame: a term, then its frame; the first frame
    # through its caption.
    for i in "${!term_x[@]}"; do
        click_at "${term_x[$i]}" $term_y
        if [ "${frame_of[$i]}" = 0 ]; then
            click_at 105 148
        else
            click_at "${frame_x[${frame_of[$i]}]}" $frame_y
        fi
        if [ "$i" = 8 ]; then
            [ "$(pixel $panel_x $panel_y "$out/nine-placed.png")" != 0000FF ] ||
                fail "the result panel showed before every term was placed"
        fi
    done
    wait_for_pixel $panel_x $panel_y 0000FF "$out/solved.png" ||
        fail "clicking every term into its frame did not solve the problem"
    echo "problem 1 solved with clicks alone"

    kill "$pid"
    trap - EXIT
    wait "$pid" 2>/dev/null || true
}

window_test_main "$@"
