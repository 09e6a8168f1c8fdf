#!/bin/bash
# Every --gtest_filter in the test list selects tests: googletest runs
# nothing and passes when a filter names a test that has been renamed. Each
# pattern of a filter (the colon-separated ones before any "-") must select
# at least one test of its program, listed under the entry's environment.
# gtest_discover_tests' entries, one test each, are left out: their
# filters are the program's own list.
#
# Usage: bash filters_test.sh <build-dir>
set -euo pipefail

fail() {
    echo "filters_test: FAIL: $*" >&2
    exit 1
}

command -v jq >/dev/null || fail "jq is missing"
listed=$(ctest --test-dir "$1" --show-only=json-v1) || fail "ctest cannot list the tests of $1"
# One line an entry: name, program, filter, then its environment.
entries=$(jq -r '.tests[] | select(.command != null)
    | select(any(.command[]; startswith("--gtest_filter=")))
    | select(all(.command[]; . != "--gtest_also_run_disabled_tests"))
    | [.name, .command[0],
       (.command[] | select(startswith("--gtest_filter=")) | ltrimstr("--gtest_filter=")),
       ((.properties // [])[] | select(.name == "ENVIRONMENT") | .value[])] | @tsv' <<<"$listed")
[ -n "$entries" ] || fail "no entry of $1 has a --gtest_filter: this test checks nothing"

checked=0
while IFS=$'\t' read -r -a entry; do
    name=${entry[0]} program=${entry[1]} filter=${entry[2]}
    [ -x "$program" ] || fail "$name: $program is not built"
    negative=
    [[ "$filter" == *-* ]] && negative=-${filter#*-}
    IFS=: read -r -a patterns <<<"${filter%%-*}"
    for pattern in "${patterns[@]}"; do
        list=$(env "${entry[@]:3}" "$program" --gtest_list_tests "--gtest_filter=$pattern$negative" \
            2>&1) || fail "$name: $program --gtest_list_tests failed: $list"
        grep -q '^  ' <<<"$list" || fail "$name: the pattern $pattern of its --gtest_filter selects no test"
        checked=$((checked + 1))
    done
done <<<"$entries"
echo "filters_test: PASS ($checked patterns of $(wc -l <<<"$entries") entries each select tests)"
