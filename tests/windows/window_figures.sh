#!/usr/bin/env bash
# Prints the Win32 window's figures under Wine and Xvfb:
#   window_figures.sh BUILD_DIR
# the close time of a bare window and of the game's, to the process's end,
# and the CPU the game's key wait costs over 10 s (from /proc of the Wine
# process).
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
run() { "$here/wine-run.sh" "$build/wine" "$@"; }
figures=$build/bin/win32_window_figures.exe
now_ms() { date +%s%3N; }

run --start
for kind in bare game bare game; do
  out=$(run "$figures" close "$kind" | tr -d '\r')
  ended=$(now_ms)
  echo "$out"
  posted=$(sed -n 's/^close posted at \([0-9]*\) ms$/\1/p' <<<"$out")
  echo "$kind window: close posted to process ended $((ended - posted)) ms"
done

out=$(mktemp)
run "$figures" idle 14 >"$out" 2>&1 &
runner=$!
pid=
for _ in $(seq 100); do
  # The Windows program itself, not the script that runs it.
  pid=$(pgrep -x win32_window_fi || true)
  [[ -n $pid ]] && break
  sleep 0.1
done
sleep 2  # past the start
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks "$pid")
start=$(now_ms)
sleep 10
t1=$(ticks "$pid")
end=$(now_ms)
wait "$runner"
cat "$out"
rm -f "$out"
awk -v t="$((t1 - t0))" -v hz="$hz" -v ms="$((end - start))" \
  'BEGIN { printf "key wait: %.2f%% of a core over %.1f s (%d ticks)\n", 100 * t / hz / (ms / 1000), ms / 1000, t }'
