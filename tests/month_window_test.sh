#!/bin/bash
# A month of a learner's record as faketime makes it, with the built program
# in a real X server (Xvfb) on a copy of the bundled data, answered with
# clicks. The learner's day starts at 04:00 (UTC here): a problem is offered
# for review all of the day it is due and not before; a right retry the same
# day leaves a wrong answer's one-day interval; a near miss (9 of 10) is
# Hard; an answer from a clock set back moves nothing; two windows of one
# learner read each other's answers. velmorant-check --due tells the days.
#
# Usage: [MONTH_LEARNERS=taro|hana] bash month_window_test.sh <velmorant> <data-dir> <scratch-dir>
set -euo pipefail

TITLE="用語分類問題集 Velmorant"
export TZ=UTC

TEST_NAME=month_window_test
. "$(dirname "$(realpath "$0")")/window_test_lib.sh"


# Every term into a frame: "right" as the key says, "near" with the last
# term in the wrong frame (9 of 10), "wrong" all into the first (4 of 10).
answer_problem() {
    local i frame
    for i in "${!term_x[@]}"; do
        frame=${frame_of[$i]}
        case $1 in
        wrong) frame=0 ;;
        near) [ "$i" = 9 ] && frame=1 ;;
        esac
        click_at "${term_x[$i]}" $term_y
        if [ "$frame" = 0 ]; then
            click_at 105 148
        else
            click_at "${frame_x[$frame]}" $frame_y
        fi
    done
}

# After "wrong": the six terms stacked wrongly in the first frame, from the
# bottom up, into their own frames; the second check is right.
fix_wrong_answer() {
    local y
    for y in 348 329 310; do
        click_at 35 $y
        click_at "${frame_x[2]}" $frame_y
    done
    for y in 291 272 253; do
        click_at 35 $y
        click_at "${frame_x[1]}" $frame_y
    done
}

log_of() { echo "records/$1.jsonl"; }

# Waits until learner $1's log has $2 lines.
wait_for_lines() {
    local got=0
    local end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        got=$( (cat "$(log_of "$1")" 2>/dev/null || true) | wc -l)
        [ "$got" = "$2" ] && return 0
        sleep 0.1
    done
    fail "the log of $1 has $got lines, $2 expected"
}

# Starts the program for learner $2 with its clock at $1 (UTC).
start_at() {
    local wrapper="$out/velmorant-at"
    clock_wrapper "$wrapper" "@$1" "$program" --learner "$2"
    start_program "$wrapper" "$out/program.log"
    wait_for_pixel 5 5 C0FFFF "$out/list.png" >/dev/null || fail "the window did not paint at $1"
}

open_first_series() {
    xdotool mousemove $((wx + 240)) $((wy + 213)) click --repeat 2 --delay 80 1
    name=$(wait_for_new_title)
    [[ "$name" == *"動物の多様性と分類"* ]] || fail "the first series did not open (\"$name\")"
}

# Learner $2's due day for the first series' problem, as of $1; its
# messages in $out/due-errors.
due_day() {
    FAKETIME="@$1" LD_PRELOAD="$FAKETIME_LIB" "$check" --due --learner "$2" . 2>"$out/due-errors" |
        cut -f4
}

# The list at $1 for learner $2 ends with today's review ($3 yes) or not.
expect_review_offered() {
    start_at "$1" "$2"
    open_last_entry
    if [ "$3" = yes ]; then
        [[ "$name" == *"< 今日の復習 >"* ]] || fail "no review offered at $1 (\"$name\")"
    else
        [[ "$name" == *"ヒトのからだ"* ]] || fail "a review was offered at $1 (\"$name\")"
    fi
}

# taro's days: a wrong answer put right, the review's day, a clock set back.
taro_days() {
    local win wx wy ww wh name

    # Wrong at 19:00, put right, then shown again and right at once: both
    # later checks are practice.
    start_at "2026-12-01 19:00:00" taro
    open_first_series
    answer_problem wrong
    wait_for_lines taro 1
    fix_wrong_answer # each move a check, the last one right
    wait_for_lines taro 7
    wait_for_pixel 73 88 0000FF "$out/put-right.png" || fail "putting the terms right did not solve it"
    click_at 318 104 # この問題をもう一度
    answer_problem right
    wait_for_lines taro 8
    end_program
    [ "$(due_day "2026-12-01 19:30:00" taro)" = 2026-12-02 ] ||
        fail "a right retry moved the Again's one day: $(due_day "2026-12-01 19:30:00" taro)"
    echo "a wrong answer and a right retry the same day: due the next day"

    # Due on the 2nd: not at 03:59, offered from 04:00 to the end of its day.
    expect_review_offered "2026-12-02 03:59:00" taro no
    end_program
    expect_review_offered "2026-12-02 04:00:30" taro yes
    end_program
    expect_review_offered "2026-12-03 03:30:00" taro yes
    answer_problem right
    wait_for_lines taro 9
    end_program
    local after
    after=$(due_day "2026-12-03 03:40:00" taro)
    [[ "$after" > 2026-12-03 ]] || fail "the review did not move the due day: $after"
    echo "the review was offered from 04:00 on its day to 03:59 the next morning"

    # A clock set back to before that review: kept in the log, moves nothing.
    start_at "2026-12-02 12:00:00" taro
    open_first_series
    answer_problem wrong
    wait_for_lines taro 10
    end_program
    [ "$(due_day "2026-12-03 10:00:00" taro)" = "$after" ] ||
        fail "an answer dated before the last review moved the due day"
    grep -q "最後の復習より前の日時のもの 1件" "$out/due-errors" ||
        fail "--due did not tell of the answer set aside: $(cat "$out/due-errors")"
    echo "an answer dated before the last review was set aside and told"
}

# hana's days: a near miss, then two windows of hers at once.
hana_days() {
    local win wx wy ww wh name

    # A near miss first: Hard, two days (Again gives one, Good three).
    start_at "2026-12-01 20:00:00" hana
    open_first_series
    answer_problem near
    wait_for_lines hana 1
    end_program
    [ "$(due_day "2026-12-01 20:10:00" hana)" = 2026-12-03 ] ||
        fail "a near miss was not Hard: due $(due_day "2026-12-01 20:10:00" hana)"
    echo "a near miss (9 of 10) gave Hard's two days"

    # Two windows of hana on its due day, both offering the review: the first
    # solves it, then the second, started before, answers it wrong.
    start_at "2026-12-03 10:00:00" hana
    local first=$pid first_win
    first_win=$(xdotool search --all --onlyvisible --pid "$first" --name "^$TITLE\$" | head -1)
    trap - EXIT
    start_at "2026-12-03 10:00:00" hana
    local second=$pid second_win=""
    local end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        second_win=$(xdotool search --all --onlyvisible --pid "$second" --name "^$TITLE\$" | head -1 || true)
        [ -n "$second_win" ] && break
        sleep 0.1
    done
    sleep 1 # its list painted
    trap 'kill "$first" "$second" 2>/dev/null || true' EXIT
    [ -n "$second_win" ] || fail "the second window did not appear"
    local windows
    windows=$(xdotool search --onlyvisible --name . 2>/dev/null | wc -l)
    xdotool windowraise "$first_win" windowfocus "$first_win"
    win=$first_win
    open_last_entry
    [[ "$name" == *"< 今日の復習 >"* ]] || fail "the first window offered no review (\"$name\")"
    answer_problem right
    wait_for_lines hana 2
    click_at 588 433 # 終了: back to the list
    xdotool windowraise "$second_win" windowfocus "$second_win"
    win=$second_win
    open_last_entry
    [[ "$name" == *"< 今日の復習 >"* ]] || fail "the second window offered no review (\"$name\")"
    answer_problem wrong
    wait_for_lines hana 3
    click_at 588 433
    sleep 1
    # The wrong answer came after the first window's review: practice.
    local shared
    shared=$(due_day "2026-12-03 10:30:00" hana)
    [[ "$shared" > 2026-12-04 ]] || fail "the second window's answer reviewed again: due $shared"
    # Both lists the same, and neither window has anything to tell.
    local w
    for w in first second; do
        local id="${w}_win"
        xdotool windowraise "${!id}"
        sleep 0.3
        import -window "${!id}" "$out/$w-list.png"
    done
    # Above the buttons, which the pointer may be over.
    compare -metric AE "$out/first-list.png[622x400+0+0]" "$out/second-list.png[622x400+0+0]" \
        null: 2>/dev/null ||
        fail "the two windows show different lists"
    [ "$(xdotool search --onlyvisible --name . 2>/dev/null | wc -l)" = "$windows" ] ||
        fail "a window told something: $(xdotool search --onlyvisible --name . getwindowname %@)"
    kill "$first" "$second"
    wait "$first" "$second" 2>/dev/null || true
    trap - EXIT
    echo "two windows of one learner agreed"
}

# MONTH_LEARNERS names the learners whose days to play (both unless set):
# ctest plays each in a test of its own, beside the other.
inside_xvfb() {
    program=$1 out=$3
    check="$(dirname "$program")/velmorant-check"
    cd "$2"
    local learner
    for learner in ${MONTH_LEARNERS:-taro hana}; do
        "${learner}_days"
    done
}

window_test_main "$@"
