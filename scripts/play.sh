#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The release preset's build/, which the tests and the bench share: the game
# and its cues alone are built here.
cmake --preset release >/dev/null
cmake --build --preset release --target pelliwick pelliwick_cues
exec build/bin/pelliwick
