#!/bin/bash
# Runs the built program, unchanged, in a real X server (Xvfb) on a copy of
# the bundled data, and checks what it puts on the screen:
#   - a window titled "用語分類問題集 Velmorant" with a 622 x 458 client area
#     and the program's 32 x 32 icon;
#   - the window's background colour;
#   - the title picture, pixel for pixel, inside its 3-D border;
#   - the quit button asks for confirmation, and OK ends the program with
#     status 0;
#   - SIGTERM, as a logout sends it, writes the mark of a solved problem
#     still on screen to Marked.txt before the program ends.
# Screenshots and the program's output are left in the scratch directory.
#
# Usage: bash real_window_test.sh <velmorant> <data-dir> <scratch-dir>
set -euo pipefail

TITLE="用語分類問題集 Velmorant"
BOX_TITLE="Velmorantからのメッセージ"

TEST_NAME=real_window_test
. "$(dirname "$(realpath "$0")")/window_test_lib.sh"

# ---------------------------------------------------------------- in Xvfb --

inside_xvfb() {
    local program=$1 work=$2 out=$3
    cd "$work"
    local win wx wy ww wh
    start_program "$program" "$out/program.log"
    echo "window $win: ${ww}x${wh} at $wx,$wy"
    [ "$ww" = 622 ] && [ "$wh" = 458 ] || fail "client area is ${ww}x${wh}, not 622x458"
    # The icon is decoded beside Qt's start-up; the window manager must get it.
    xprop -id "$win" _NET_WM_ICON | grep -q "Icon (32 x 32)" || fail "the window has no 32 x 32 icon"

    # The window may take a moment to paint: wait for its background.
    local shot="$out/series-list.png" bg=""
    local end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        import -window root "$shot"
        bg=$(image_pixel "$shot" $((wx + 5)) $((wy + 5)))
        [ "$bg" = C0FFFF ] && break
        sleep 0.1
    done
    [ "$bg" = C0FFFF ] || fail "background at (5,5) is #$bg, not #C0FFFF"
    local right
    right=$(image_pixel "$shot" $((wx + 610)) $((wy + 300)))
    [ "$right" = C0FFFF ] || fail "background at (610,300) is #$right, not #C0FFFF"

    # The picture box: centred in the outer width of 9450 twips, 52 px from
    # the top, with the picture 2 px inside its border.
    local px=$((wx + 151 + 2)) py=$((wy + 52 + 2))
    local title="$work/title.png" same=0 checked=0
    for point in "0 0" "323 0" "0 118" "323 118" "161 59" "40 30" "250 90" "100 100"; do
        read -r x y <<<"$point"
        local want got
        want=$(image_pixel "$title" "$x" "$y")
        got=$(image_pixel "$shot" $((px + x)) $((py + y)))
        checked=$((checked + 1))
        if [ "$want" = "$got" ]; then
            same=$((same + 1))
        else
            echo "title picture ($x,$y): screen #$got, file #$want" >&2
        fi
    done
    [ "$same" = "$checked" ] || fail "the title picture differs at $((checked - same)) of $checked points"
    local border
    border=$(image_pixel "$shot" $((wx + 151)) $((wy + 52)))
    [ "$border" != C0FFFF ] || fail "no border around the title picture"
    echo "series list screen: background and title picture as expected"

    # The quit button (bottom right: left 7740, top 7275 - 930 twips) asks
    # first; OK ends the program.
    xdotool mousemove $((wx + 516 + 28)) $((wy + 423 + 10)) click 1
    local box
    box=$(wait_for_window "$BOX_TITLE") || fail "the quit button showed no confirmation"
    sleep 0.3
    import -window root "$out/quit-confirmation.png"
    # OK is the default button, and the box has the keyboard focus. The box
    # may be gone before the key is released: that is no error.
    [ "$(xdotool getwindowfocus)" = "$((box))" ] || fail "the confirmation has no keyboard focus"
    xdotool key Return || true
    local end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "the program still runs after OK in the quit confirmation"
    fi
    trap - EXIT
    local status=0
    wait "$pid" || status=$?
    [ "$status" = 0 ] || fail "the program ended with status $status"
    echo "quit button: confirmation shown, OK ended the program with status 0"

    sigterm_writes_pending_mark "$program" "$out"
}

# Opens the first series with the keyboard, solves its first problem, marks
# it and sends SIGTERM while the mark is still pending on screen.
sigterm_writes_pending_mark() {
    local program=$1 out=$2 marks_before
    marks_before=$(wc -c <Marked.txt)
    local win wx wy ww wh
    start_program "$program" "$out/program-sigterm.log"
    xdotool windowfocus --sync "$win"
    local k
    # Series 1, problem 1: four arthropods, three molluscs, three echinoderms.
    for k in Down Down Return 1 1 1 1 2 2 2 3 3 3; do
        xdotool key "$k"
        sleep 0.1
    done
    sleep 0.5
    # The result panel's "マークをつける".
    xdotool mousemove $((wx + 470)) $((wy + 72)) click 1
    sleep 0.5
    import -window root "$out/marked-before-sigterm.png"
    kill -TERM "$pid"
    local end=$((SECONDS + WAIT_SECONDS))
    while [ "$SECONDS" -le "$end" ]; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "the program still runs after SIGTERM"
    trap - EXIT
    local status=0
    wait "$pid" || status=$?
    [ "$status" = 0 ] || fail "after SIGTERM the program ended with status $status"
    # The record's list of terms.
    local terms=ザリガニ,クモ,ムカデ,ミジンコ,イカ,アサリ,カタツムリ,ウニ,ヒトデ,ナマコ,
    [ "$(wc -c <Marked.txt)" -gt "$marks_before" ] &&
        iconv -f CP932 -t UTF-8 Marked.txt | grep -qxF "$terms"$'\r' ||
        fail "SIGTERM lost the pending mark: Marked.txt has no record with $terms"
    echo "SIGTERM: the pending mark was written, status 0"
}

window_test_main "$@"
