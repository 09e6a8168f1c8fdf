#!/usr/bin/env bash
# Builds the Debian package from a fresh release build in build-deb/ and checks
# it with lintian, which must report nothing that packaging/lintian-overrides
# does not give a reason for. The package is
# build-deb/velmorant_<version>_<arch>.deb, the same bytes on every build of
# the same sources (its times are the changelog's); install it with
#   apt-get install ./build-deb/velmorant_*.deb       (as root, or with sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${DEB_PACKAGES[@]}"

configure_preset package
cmake --build --preset package -j"$(nproc)"
rm -f build-deb/velmorant_*.deb
(cd build-deb && cpack -G DEB)
deb=$(ls build-deb/velmorant_*.deb)
echo "lintian on $deb:"
lintian --info --pedantic --fail-on error,warning,info,pedantic "$deb"
echo "made $deb"
