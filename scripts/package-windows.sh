#!/usr/bin/env bash
# Installs what is missing, cross-builds pelliwick.exe for Windows (the
# "windows-package" preset: Release, no tests) and makes, in
# build-windows-package/, the portable zip and the installer (CPack's ZIP and
# NSIS generators): pelliwick.exe stripped, the three cues, README.txt (the
# README's Windows section), LICENSE.txt and the NVDA add-on.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
werror=()
if [[ -n "${CI:-}" ]]; then werror=(-DPELLIWICK_WERROR=ON); fi
cmake --preset windows-package "${werror[@]}"
cmake --build --preset windows-package
rm -f build-windows-package/pelliwick-*-windows-x64.{zip,exe}
(cd build-windows-package && cpack -G "ZIP;NSIS")
# The stripped program as packed: only Windows' own DLLs (the C++ runtime and
# winpthreads are inside it).
tests/windows/imports-test.sh x86_64-w64-mingw32-objdump \
  build-windows-package/_CPack_Packages/win64/ZIP/pelliwick-*-windows-x64/pelliwick.exe
for package in build-windows-package/pelliwick-*-windows-x64.{zip,exe}; do
  echo "Built $package ($(stat -c %s "$package") bytes)"
done
