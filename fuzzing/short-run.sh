#!/usr/bin/env bash
# Runs one fuzz target briefly on a fresh copy of its seeds, as a test: any
# crash, leak, timeout or failed check makes it fail.
#   fuzzing/short-run.sh <target binary> <target name> <scratch folder> [seconds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
target=$2
work=$3
seconds=${4:-6}
# The targets' working folders, in memory where possible; removed at the end
# even when a target crashed.
scratch=$(mktemp -d /dev/shm/velmorant-fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export VELMORANT_FUZZ_TMP=$scratch
rm -rf "$work"
mkdir -p "$work/corpus" "$work/found"
bash "$here/make-corpus.sh" "$target" "$work/corpus"
if ! "$bin" -max_total_time="$seconds" -timeout=10 -dict="$here/velmorant.dict" \
    -artifact_prefix="$work/found/" -print_final_stats=1 "$work/corpus" >"$work/log" 2>&1; then
    tail -n 60 "$work/log"
    echo "fuzz_$target found a problem; the input is in $work/found/" >&2
    exit 1
fi
grep -E '^Done [0-9]+ runs' "$work/log" || true
