#!/bin/bash
# The Debian package of a build, made twice a few seconds apart with the
# installed files touched in between, must be the same bytes; it is
# compressed with xz and runs no ldconfig (the sound module is the program's
# own and lies in a private folder); and lintian finds in it what
# scripts/make-deb.sh's lintian would: no tag the overrides do not explain,
# no override unused.
#
# Usage: bash package_test.sh <build-dir> <scratch-dir>
set -euo pipefail

fail() {
    echo "package_test: FAIL: $*" >&2
    exit 1
}

for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || fail "$tool is missing (packages cmake, dpkg-dev, lintian)"
done
. "$(dirname "$0")/../scripts/packages.sh"
build=$(realpath "$1")
rm -rf "$2"
mkdir -p "$2"
scratch=$(realpath "$2")

make_package() {
    env -u SOURCE_DATE_EPOCH cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/$1" \
        >"$scratch/$1.log" 2>&1 || fail "cpack failed: $(cat "$scratch/$1.log")"
    ls "$scratch/$1"/velmorant_*.deb
}

first=$(make_package first)
sleep 1.1
find "$build/share" "$build/packaging" -type f -exec touch {} +
touch "$build/velmorant" "$build/velmorant-check" "$build/velmorant-server" "$build"/velmorant-sound.so
second=$(make_package second)
cmp "$first" "$second" ||
    fail "two packages of the same build differ: $(diff <(dpkg-deb -c "$first") <(dpkg-deb -c "$second") | head -5)"
echo "two packages of one build: the same bytes"

members=$(ar t "$first" | tr '\n' ' ')
[ "$members" = "debian-binary control.tar.xz data.tar.xz " ] ||
    [ "$members" = "debian-binary control.tar.gz data.tar.xz " ] || fail "package members: $members"
control=$scratch/control
dpkg-deb -e "$first" "$control"
! grep -rq ldconfig "$control" || fail "the maintainer scripts run ldconfig: $(grep -rl ldconfig "$control")"
module=$(dpkg-deb -c "$first" | grep -o '\./usr/lib/.*velmorant-sound\.so') || fail "no sound module"
[[ "$module" == */velmorant/velmorant-sound.so ]] || fail "the sound module lies in a linker folder: $module"
echo "xz, no ldconfig, the sound module in $module"

lint=$(lint_package "$first" 2>&1) || fail "lintian: $lint"
echo "lintian: no tag the overrides do not explain, no override unused"
echo "package_test: PASS"
