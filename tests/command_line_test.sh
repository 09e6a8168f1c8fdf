#!/bin/bash
# The command lines of both programs where there is no display at all:
#   - --help and --version print and end with status 0;
#   - a mistake is named on the terminal and ends with status 2, as does a
#     start without a display;
#   - Qt's own options are accepted: -platform offscreen opens the program,
#     which fills the folder it is given and runs until it is ended.
#
# Usage: bash command_line_test.sh <velmorant> <velmorant-check> <scratch-dir>
set -euo pipefail

fail() {
    echo "command_line_test: FAIL: $*" >&2
    exit 1
}

program=$1
check=$2
scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

# Runs the rest of the words without a display; sets out, err and status.
run() {
    status=0
    "${nodisplay[@]}" "$@" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?
    out=$(cat "$scratch/out")
    err=$(cat "$scratch/err")
}

for word in --help -h; do
    run "$program" "$word"
    [ "$status" = 0 ] || fail "velmorant $word ended with $status: $err"
    [[ "$out" == *"使い方: velmorant"* && "$out" == *"--version"* ]] ||
        fail "velmorant $word printed: $out"
done
run "$program" --version
[ "$status" = 0 ] && [ "$out" = "velmorant 1.1" ] || fail "velmorant --version: $status, \"$out\" $err"
run "$check" --version
[ "$status" = 0 ] && [ "$out" = "velmorant-check 1.1" ] ||
    fail "velmorant-check --version: $status, \"$out\" $err"
echo "--help and --version print and end with 0, without a display"

run "$program" --bogus
[ "$status" = 2 ] && [[ "$err" == *"知らないオプションです: --bogus"* ]] ||
    fail "velmorant --bogus ended with $status: $err"
run "$program" one two
[ "$status" = 2 ] && [[ "$err" == *"フォルダは一つだけ"* ]] || fail "two folders: $status, $err"
run "$program" --learner " "
[ "$status" = 2 ] && [[ "$err" == *"学習者の名前"* ]] || fail "a blank learner: $status, $err"
run "$program" --day-start 24:00
[ "$status" = 2 ] && [[ "$err" == *"「24:00」は時刻として読めません"* ]] ||
    fail "a day starting at 24:00: $status, $err"
run "$(dirname "$program")/velmorant-check" --learner 花子 .
[ "$status" = 2 ] && [[ "$err" == *"--due"* ]] || fail "check --learner without --due: $status, $err"
echo "mistakes: named on the terminal, status 2"

# No display and no -platform: a reason and status 2, not Qt's abort (134).
run "$program" "$scratch/nodisplay"
[ "$status" = 2 ] && [[ "$err" == *"画面（ディスプレイ）がありません"* ]] ||
    fail "without a display: status $status, $err"
[ ! -e "$scratch/nodisplay" ] || fail "without a display the folder was made"
echo "without a display: a reason in Japanese, status 2"

# Qt's options go to Qt: the program runs offscreen on the folder it is given.
"${nodisplay[@]}" "$program" -platform offscreen -style=fusion "$scratch/work" \
    >"$scratch/run.log" 2>&1 &
pid=$!
for _ in $(seq 100); do
    [ -f "$scratch/work/ZQCList.TXT" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
sleep 0.5
kill -0 "$pid" 2>/dev/null || { wait "$pid" || status=$?; fail "with -platform offscreen it ended with $status: $(cat "$scratch/run.log")"; }
kill "$pid"
wait "$pid" || true
[ -f "$scratch/work/ZQCList.TXT" ] || fail "with -platform offscreen the folder was not filled"
echo "-platform offscreen -style=fusion DIR: the program runs on DIR"
echo "command_line_test: PASS"
