#!/usr/bin/env bash
# Builds the Debian package from a fresh release build in build-deb/ and checks
# it with lintian. The package is build-deb/velmorant_<version>_<arch>.deb;
# install it with
#   sudo apt-get install ./build-deb/velmorant_*.deb
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
lintian --display-info "$deb"
echo "made $deb"
