#!/bin/bash
# Every C++ file of src/ is as clang-format lays it out with the project's
# .clang-format; names the files that are not. One clang-format for all the
# files: started once per file, it took ten times as long.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src -name '*.cpp' -o -name '*.h' | sort)
if ! out=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
    bad=$(sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' <<<"$out" | sort -u | tr '\n' ' ')
    echo "Not formatted with clang-format: ${bad:-$out}" >&2
    exit 1
fi
echo "${#files[@]} files formatted"
