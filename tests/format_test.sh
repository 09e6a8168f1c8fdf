#!/bin/bash
# Every C++ file of src/ is as clang-format lays it out with the project's
# .clang-format; names the files that are not.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src -name '*.cpp' -o -name '*.h' | sort)
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "Not formatted with clang-format: ${bad[*]}" >&2
    exit 1
fi
echo "${#files[@]} files formatted"
