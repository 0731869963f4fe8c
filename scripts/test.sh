#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, the end
# to end tests in a real window under Xvfb included.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure
