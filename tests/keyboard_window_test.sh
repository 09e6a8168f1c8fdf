#!/bin/bash
# Runs the built program, unchanged, in a real X server (Xvfb) on a copy of
# the bundled data and uses it with the keyboard alone: the arrow keys and
# Enter open a series, digit keys (one of them held) and a carry with Space
# and the arrows solve its first problem, and Enter on the focused "次の問題へ"
# shows the second.
# The mouse is never touched. Screenshots are left in the scratch directory.
#
# Usage: bash keyboard_window_test.sh <velmorant> <data-dir> <scratch-dir>
set -euo pipefail

TITLE="用語分類問題集 Velmorant"

TEST_NAME=keyboard_window_test
. "$(dirname "$(realpath "$0")")/window_test_lib.sh"

keys() {
    for k in "$@"; do
        xdotool key "$k"
        sleep 0.05
    done
}

inside_xvfb() {
    local program=$1 work=$2 out=$3
    cd "$work"
    local win wx wy ww wh
    start_program "$program" "$out/program.log"
    # No window manager: give the window the keyboard.
    xdotool windowfocus --sync "$win"
    wait_for_pixel 5 5 C0FFFF "$out/series-list.png" || fail "the window did not paint"

    # The first entry is the marked problems; the second the first series.
    keys Down Down Return
    local name
    name=$(wait_for_new_title)
    [[ "$name" == *"動物の多様性と分類"* ]] || fail "Enter in the list did not open the series (title \"$name\")"
    echo "series opened with the keyboard: $name"

    # Problem 1: ten terms, four arthropods, three molluscs, three
    # echinoderms, in that order. The focus starts on the first term and
    # moves on to the next unplaced one after each drop.
    local panel_x=73 panel_y=88 # inside the result panel's left border
    # The first "1" held well past the server's repeat delay: one term only,
    # or the rest of the keys would solve nothing.
    xdotool keydown 1
    sleep 1.5
    xdotool keyup 1
    sleep 0.05
    keys 1 1 1 2 2 2 3 3
    sleep 0.3
    [ "$(pixel $panel_x $panel_y "$out/nine-placed.png")" != 0000FF ] ||
        fail "the result panel showed before every term was placed"
    # The last term picked up with Space, carried two frames right with the
    # arrow keys and put down with Enter.
    keys space Right Right Return
    wait_for_pixel $panel_x $panel_y 0000FF "$out/solved.png" ||
        fail "placing every term with the keyboard did not solve the problem"
    echo "problem 1 solved with digit keys and a carry"

    # The focus is on "次の問題へ": Enter shows problem 2, six frames in two
    # rows, where a second-row frame now fills what was frame 2 of three.
    keys Return
    wait_for_pixel 304 355 FFFFC0 "$out/problem-2.png" ||
        fail "Enter after solving did not show the next problem"
    [ "$(pixel $panel_x $panel_y "$out/problem-2.png")" != 0000FF ] ||
        fail "the result panel stayed after Enter"
    echo "Enter on the focused result button showed problem 2"

    end_program
}

window_test_main "$@"
