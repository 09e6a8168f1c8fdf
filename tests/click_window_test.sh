#!/bin/bash
# Runs the built program, unchanged, in a real X server (Xvfb) on a copy of
# the bundled data and solves the first problem of a series with single
# clicks: a click on a term picks it up, a click on a frame or its caption
# puts it there, a click beside the frames puts it back. No button is ever
# held while the pointer moves. Then, days later as faketime makes it, the
# solved problem is due: the list ends with today's review, which plays it,
# and velmorant-check --due agrees. Screenshots are left in the scratch
# directory.
#
# Usage: bash click_window_test.sh <velmorant> <data-dir> <scratch-dir>
set -euo pipefail

TITLE="用語分類問題集 Velmorant"

TEST_NAME=click_window_test
. "$(dirname "$(realpath "$0")")/window_test_lib.sh"

# Where the result panel of problem 1 lies (click_at and the terms'
# places come from window_test_lib.sh).
panel_x=73 panel_y=88

# Every term into its frame: a term, then its frame; the first frame
# through its caption. $1 names the screenshots.
solve_by_clicks() {
    for i in "${!term_x[@]}"; do
        click_at "${term_x[$i]}" $term_y
        if [ "${frame_of[$i]}" = 0 ]; then
            click_at 105 148
        else
            click_at "${frame_x[${frame_of[$i]}]}" $frame_y
        fi
        if [ "$i" = 8 ]; then
            [ "$(pixel $panel_x $panel_y "$1-nine-placed.png")" != 0000FF ] ||
                fail "the result panel showed before every term was placed"
        fi
    done
    wait_for_pixel $panel_x $panel_y 0000FF "$1-solved.png" ||
        fail "clicking every term into its frame did not solve the problem"
}

# Starts the program $1 days from now and opens the last entry of the list
# with the keyboard; sets name to the window's title then. $2 names the
# screenshot of the list.
open_last_entry_later() {
    local later="$out/velmorant-later"
    clock_wrapper "$later" "+${1}d" "$program"
    start_program "$later" "$out/program-later.log"
    wait_for_pixel 5 5 C0FFFF "$out/$2.png" >/dev/null || fail "the window did not paint"
    open_last_entry
    import -window root "$out/$2-opened.png"
}

inside_xvfb() {
    program=$1 out=$3
    local work=$2
    cd "$work"
    local win wx wy ww wh
    start_program "$program" "$out/program.log"
    wait_for_pixel 5 5 C0FFFF "$out/series-list.png" || fail "the window did not paint"

    # The second entry of the list is the first series.
    xdotool mousemove $((wx + 240)) $((wy + 213)) click --repeat 2 --delay 80 1
    name=$(wait_for_new_title)
    [[ "$name" == *"動物の多様性と分類"* ]] || fail "a double click did not open the series (title \"$name\")"

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

    solve_by_clicks "$out/first"
    echo "problem 1 solved with clicks alone"
    end_program

    # Three days on, the problem solved is due: the list ends with it.
    local due check_later="$out/velmorant-check-later"
    clock_wrapper "$check_later" +3d "$(dirname "$program")/velmorant-check"
    due=$("$check_later" --due .) ||
        fail "velmorant-check --due failed"
    [ "$(wc -l <<<"$due")" = 1 ] && [[ "$due" == *$'\tBio1.TXT\t'* ]] ||
        fail "velmorant-check --due printed: $due"
    open_last_entry_later 3 list-with-review
    [[ "$name" == *"< 今日の復習 >"* ]] || fail "the last entry three days on opened \"$name\""
    solve_by_clicks "$out/review"
    echo "three days on, today's review held the problem and it was solved again"
    end_program

    # Solved again, it is not due then: the last entry is the
    # catalogue's.
    open_last_entry_later 3 list-without-review
    [[ "$name" == *"ヒトのからだ"* ]] || fail "the last entry opened \"$name\" with nothing due"
    [ "$("$check_later" --due . | cut -f4)" \> \
        "$(cut -f4 <<<"$due")" ] || fail "solving the review did not move its due date"
    end_program
}

window_test_main "$@"
