#!/usr/bin/env bash
# Installs what is missing, builds the game and its benchmark, and prints
# the speed and memory figures next to their targets (a few minutes).
# Without a display it runs in its own Xvfb. Extra arguments go to
# pelliwick-bench (e.g. a number of trials).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pelliwick pelliwick_cues pelliwick-bench

if [ -z "${DISPLAY:-}" ]; then
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$displayfile" \
    2>/dev/null &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null; rm -f "$displayfile"' EXIT
  for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(cat "$displayfile")"
fi
build/bin/pelliwick-bench "$@"
