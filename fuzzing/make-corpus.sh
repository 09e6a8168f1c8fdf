#!/usr/bin/env bash
# Fills a folder with the seed inputs of one fuzz target: the bundled sample
# data, the small hand-made files in fuzzing/seeds/<target>/ and, for the board
# target, sample series with drag scripts after them.
#   fuzzing/make-corpus.sh <catalog|series|marks|board|log|requests|httphead> <folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../data
target=$1
out=$2
mkdir -p "$out"
cp "$here/seeds/$target"/* "$out/" 2>/dev/null || true

# A drag script: the problem to show, then steps of 10 bytes (what to do,
# which term, two coordinates). Step kind 2 drops the term on frame N.
drops() {
    printf '\x00\x00'
    local i
    for i in $(seq 0 "$1"); do
        printf '%b' "\\x02\\x$(printf %02x $((i + 1)))\\x$(printf %02x $((i % 3)))"
        printf '\x00\x00\x00\x00\x00\x00\x00'
    done
    # A label flung to NaN and to a huge place, and a window far too small.
    printf '\x09\x01\x00\x00\xc0\x7f\x00\x00\xc0\x7f'
    printf '\x0d\x02\xff\xff\x7f\x7f\xff\xff\x7f\x7f'
    printf '\x03\x00\x10\x00\x00\x00\x10\x00\x00\x00'
}

case $target in
requests | httphead) ;; # the hand-made seeds only
catalog) cp "$data/ZQCList.TXT" "$out/data-ZQCList.TXT" ;;
series) for f in "$data"/Bio*.TXT; do cp "$f" "$out/data-$(basename "$f")"; done ;;
marks) cp "$data/Marked.txt" "$out/data-Marked.txt" ;;
log) ;;
board)
    for f in "$data"/Bio*.TXT; do
        { cat "$f"; drops 12; } >"$out/data-$(basename "$f").drops"
    done
    ;;
*)
    echo "unknown fuzz target: $target" >&2
    exit 2
    ;;
esac
