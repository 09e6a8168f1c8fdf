#!/usr/bin/env bash
# Builds the Debian package from a fresh release build in build-deb/ and checks
# it with lintian, which must report nothing, down to its I: and P: tags, that
# packaging/lintian-overrides does not give a reason for, and no override that
# goes unused; a package lintian finds fault with is removed. The tests' build
# is hardened alike and its package linted alike (tests/package_test.sh). The package is
# build-deb/velmorant_<version>_<arch>.deb, the same bytes on every build of
# the same sources (its times are the changelog's); install it with
#   apt-get install ./build-deb/velmorant_*.deb       (as root, or with sudo)
set -euo pipefail
# The files' modes in the package do not depend on the caller's umask.
umask 022
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${DEB_PACKAGES[@]}"

configure_preset package
cmake --build --preset package -j"$(nproc)"
rm -f build-deb/velmorant_*.deb
(cd build-deb && cpack -G DEB)
deb=$(ls build-deb/velmorant_*.deb)
echo "lintian on $deb:"
if ! lint_package "$deb"; then
    rm -f "$deb"
    echo "lintian found fault with the package; it was removed" >&2
    exit 1
fi
echo "made $deb"
