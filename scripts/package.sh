#!/usr/bin/env bash
# Installs what is missing, builds the Debian package with Debian's own
# compiler flags (the "package" preset, build type None: the flags are
# Debian's alone), and checks it with lintian. The package lands in
# build-package/ as pelliwick_VERSION_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake --preset package
cmake --build --preset package
rm -f build-package/pelliwick_*.deb
(cd build-package && cpack -G DEB)
package=$(ls build-package/pelliwick_*.deb)
lintian --pedantic --display-info --fail-on error,warning,info,pedantic "$package"
echo "Built $package"
