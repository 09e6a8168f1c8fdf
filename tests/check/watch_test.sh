#!/bin/bash
# velmorant-check --watch --preview: a series saved (written over, and
# renamed over as editors save) is checked again and its pictures drawn
# again within a few seconds; Ctrl+C ends the check.
#
# Usage: bash watch_test.sh <velmorant-check> <data-dir> <scratch-dir>
set -euo pipefail

fail() {
    echo "watch_test: FAIL: $*" >&2
    exit 1
}

check=$1
data=$2
scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch/class"
cp "$data"/*.TXT "$scratch/class/"
out="$scratch/out.txt"
"$check" --watch --preview "$scratch/pictures" "$scratch/class" >"$out" 2>&1 &
watcher=$!
trap 'kill $watcher 2>/dev/null || true' EXIT

# Waits up to 10 s for the output's lines matching $1 to number $2.
wait_for() {
    for _ in $(seq 100); do
        [ "$(grep -c -- "$1" "$out" || true)" -ge "$2" ] && return 0
        kill -0 "$watcher" 2>/dev/null || fail "the check ended: $(cat "$out")"
        sleep 0.1
    done
    fail "no $2 lines of '$1' within 10 s: $(cat "$out")"
}

wait_for 'index.html' 1
picture="$scratch/pictures/Bio2.TXT-01.png"
before=$(stat -c %Y.%s "$picture")
other=$(stat -c %Y "$scratch/pictures/Bio1.TXT-01.png")
sleep 1.1
# Written over in place: a problem without its terms is a new finding.
saved=$(date +%s%N)
printf '\x96\xe2\x91\xe8\x82\x58\x82\x58 \x89\xbd\x82\xe0\x82\xc8\x82\xa2\r\n' >>"$scratch/class/Bio2.TXT"
wait_for 'Bio2.TXT:[0-9]*: error' 1
wait_for 'index.html' 2
echo "watch_test: checked and drawn again $(( ($(date +%s%N) - saved) / 1000000 )) ms after the save"
[ "$(stat -c %Y.%s "$picture")" != "$before" ] || fail "the pictures of Bio2.TXT were not drawn again"
# Only the series saved is drawn again; the page still shows every series.
[ "$(stat -c %Y "$scratch/pictures/Bio1.TXT-01.png")" = "$other" ] || fail "Bio1.TXT was drawn again"
for series in Bio1 Bio2 Bio3 Bio4; do
    grep -q "$series.TXT-01.png" "$scratch/pictures/index.html" || fail "index.html lost $series.TXT"
done
# Renamed over, as most editors save.
cp "$scratch/class/Bio3.TXT" "$scratch/class/new.tmp"
printf '\x96\xe2\x91\xe8\x82\x58\x82\x58 \x89\xbd\x82\xe0\x82\xc8\x82\xa2\r\n' >>"$scratch/class/new.tmp"
mv "$scratch/class/new.tmp" "$scratch/class/Bio3.TXT"
wait_for 'Bio3.TXT:[0-9]*: error' 1

kill -INT "$watcher"
for _ in $(seq 50); do
    kill -0 "$watcher" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$watcher" 2>/dev/null && fail "Ctrl+C did not end the check"
trap - EXIT
echo "watch_test: passed"
