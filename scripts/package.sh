#!/usr/bin/env bash
# Installs what is missing, builds the Debian package with Debian's own
# compiler flags, and checks it with lintian. The package lands in
# build-package/ as pelliwick_VERSION_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
# Build type None: the flags are Debian's alone.
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF
cmake --build build-package -j2
(cd build-package && cpack -G DEB)
package=$(ls build-package/pelliwick_*.deb)
lintian --fail-on error "$package"
echo "Built $package"
