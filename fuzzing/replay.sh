#!/usr/bin/env bash
# Runs a fuzz target once on every input saved in a folder (the README
# aside); fails if any of them still fails.
#   fuzzing/replay.sh <target binary> <folder>
set -euo pipefail
bin=$1
dir=$2
# The targets' working folders, in memory where possible; removed at the end
# even when a target crashed.
scratch=$(mktemp -d /dev/shm/velmorant-fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export VELMORANT_FUZZ_TMP=$scratch
inputs=()
if [ -d "$dir" ]; then
    for f in "$dir"/*; do
        [ -f "$f" ] && [[ "$(basename "$f")" != README* ]] && inputs+=("$f")
    done
fi
if [ ${#inputs[@]} -eq 0 ]; then
    echo "no saved inputs in $dir"
    exit 0
fi
"$bin" "${inputs[@]}"
