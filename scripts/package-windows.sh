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
exe=build-windows-package/_CPack_Packages/win64/ZIP/$(cd build-windows-package && ls -d pelliwick-*-windows-x64.zip | sed 's/\.zip$//')/pelliwick.exe
# Only Windows' own DLLs: the C++ runtime and winpthreads are inside.
if x86_64-w64-mingw32-objdump -p "$exe" |
    grep -iE 'DLL Name: .*(libstdc\+\+|libgcc|libwinpthread|SDL)'; then
  echo "pelliwick.exe needs a DLL Windows does not have" >&2
  exit 1
fi
for package in build-windows-package/pelliwick-*-windows-x64.{zip,exe}; do
  echo "Built $package ($(stat -c %s "$package") bytes)"
done
