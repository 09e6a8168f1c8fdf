#!/bin/bash
# Runs the built program, unchanged, in a real X server (Xvfb) on the folder
# the editor's page test leaves (a series a teacher made and saved in the
# browser, the class's catalogue, and board.json: the learner's page's first
# board in design pixels). Opens the new series from the list with the mouse
# and keys, and checks the window's first board against the learner's: the
# colour inside each frame and on its border, and a term drawn at each
# term's place with as many in each row as the learner's.
# The window draws a control at its twips / 15 from the client's corner
# (ViewGeometry::pixelRect), so at the design client size a design pixel is
# a window pixel. The screenshot is left in the scratch directory.
#
# Usage: bash editor_desktop_test.sh <velmorant> <editor-desktop-dir> <scratch-dir>
set -euo pipefail

TITLE="用語分類問題集 Velmorant"

TEST_NAME=editor_desktop_test
. "$(dirname "$(realpath "$0")")/window_test_lib.sh"

# A colour of the state as the window's RRGGBB: system colours are the
# palette's, "-" (a frame not filled) is the board's background.
window_colour() {
    case "$1" in
        ButtonFace) echo EFEFEF ;;
        -) jq -r .back board.json | tr -d '#' | tr 'a-f' 'A-F' ;;
        *) tr -d '#' <<<"$1" | tr 'a-f' 'A-F' ;;
    esac
}

# The screenshot's pixels as "X Y RRGGBB" lines, made once: looking up
# dozens of pixels with convert each would take most of the test's time.
dump_shot() {
    convert "$shot" -depth 8 txt:- |
        sed -n 's/^\([0-9]*\),\([0-9]*\): .*#\([0-9A-F]\{6\}\).*/\1 \2 \3/p' >"$shot.txt"
}

shot_pixel() {
    awk -v x="$1" -v y="$2" '$1 == x && $2 == y { print $3; exit }' "$shot.txt"
}

# Fails unless pixel (x, y) of the screenshot is $3; $4 says what.
expect_pixel() {
    local got
    got=$(shot_pixel "$1" "$2")
    [ "$got" = "$3" ] || fail "$4 at ($1,$2) is #$got, not #$3"
}

check_frames() {
    local i left top width height fill border
    while read -r i left top width height fill border; do
        # Low in the frame, below where terms would stack, and on its left edge.
        expect_pixel $((left + width / 2)) $((top + height - 6)) "$(window_colour "$fill")" "frame $i inside"
        expect_pixel "$left" $((top + height / 2)) "$(window_colour "$border")" "frame $i border"
    done < <(jq -r '.frames | to_entries[] | "\(.key) \(.value.box | map(tostring) | join(" ")) \(
        .value.fill | if . == "" then "-" else . end) \(.value.border)"' board.json)
    echo "$(jq '.frames | length' board.json) frames, each of the learner's colours"
}

# A term at rest is a label of the term colour with a one-pixel border:
# sampled just inside its left edge (left of its text and of the focus
# rectangle) and just outside it. Across the middle of each row of terms,
# the window draws as many things on the background as the learner's row
# has terms: none more, none fewer.
check_terms() {
    local i left top width height back
    while read -r i left top width height back; do
        expect_pixel $((left + 1)) $((top + height / 2)) "$(window_colour "$back")" "term $i"
        [ "$(shot_pixel $((left - 1)) $((top + height / 2)))" != "$(window_colour "$back")" ] ||
            fail "term $i begins left of $left"
    done < <(jq -r '.terms | to_entries[] | "\(.key) \(.value.box | map(tostring) | join(" ")) \(.value.back)"' board.json)
    local y want got background
    background=$(window_colour -)
    while read -r y want; do
        got=$(awk -v y="$y" -v bg="$background" '$2 == y { if (last == bg && $3 != bg) ++n; last = $3 }
            END { print n + 0 }' "$shot.txt")
        [ "$got" = "$want" ] || fail "the row of terms at y $y shows $got, the learner's $want"
    done < <(jq -r '.terms | map(.box[1] + (.box[3] / 2 | floor)) | group_by(.)[] | "\(.[0]) \(length)"' board.json)
    echo "$(jq '.terms | length' board.json) terms at the learner's places, none more"
}

inside_xvfb() {
    local program=$1 work=$2 out=$3
    cd "$work"
    local win wx wy ww wh
    start_program "$program" "$out/program.log"
    read -r cw ch < <(jq -r '.client | map(tostring) | join(" ")' board.json)
    [ "$ww" = "$cw" ] && [ "$wh" = "$ch" ] || fail "client area is ${ww}x${wh}, the learner's ${cw}x${ch}"
    wait_for_pixel 5 5 C0FFFF "$out/series-list.png" || fail "the window did not paint"

    # The new series is the catalogue's last entry.
    local name series
    open_last_entry
    series=$(jq -r .series board.json)
    [[ "$name" == *"$series"* ]] || fail "the last entry opened \"$name\", not $series"

    shot="$out/board.png"
    local first_term
    first_term=$(jq -r '.terms[0].box | "\(.[0] + 1) \(.[1] + (.[3] / 2 | floor))"' board.json)
    # shellcheck disable=SC2086
    wait_for_pixel $first_term "$(window_colour "$(jq -r '.terms[0].back' board.json)")" "$shot" ||
        fail "the board was not drawn"
    import -window "$win" "$shot"
    dump_shot
    check_frames
    check_terms
}

command -v jq >/dev/null || { echo "$TEST_NAME: jq is missing (package jq)" >&2; exit 2; }
window_test_main "$@"
