#!/usr/bin/env bash
# Runs a Windows test program under Wine:
#   wine-run.sh ROOT PROGRAM.exe [ARGS...]
# ROOT holds one Wine prefix (made on first use: sound through ALSA's null
# device, no Mono or Gecko) and, when DISPLAY is not set, one Xvfb display
# shared by every program run with the same ROOT.
#   wine-run.sh ROOT --start   makes both ready and keeps the wineserver up;
#   wine-run.sh ROOT --stop    ends the prefix's processes and the display.
set -euo pipefail
root=$1
shift
mkdir -p "$root"
root=$(cd "$root" && pwd)
wine=/usr/lib/wine/wine64
export WINEPREFIX=$root/prefix
export HOME=$root/home
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset PULSE_SERVER

if [[ ${1:-} == --stop ]]; then
  wineserver -k 2>/dev/null || true
  if [[ -f $root/xvfb.pid ]]; then
    kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true
    rm -f "$root/xvfb.pid" "$root/display"
  fi
  exit 0
fi

display_alive() {
  [[ -f $root/xvfb.pid && -f $root/display ]] &&
    kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null
}

{
  flock 9
  if [[ ! -f $WINEPREFIX/.ready ]]; then
    mkdir -p "$HOME"
    echo 'pcm.!default { type null }' > "$HOME/.asoundrc"
    # (Each command below lets go of the lock: a wineserver or an Xvfb that
    # kept it would hold every later run.)
    "$wine" wineboot -u >/dev/null 2>&1 9>&-
    # ALSA (its null device) rather than a PulseAudio server that may or
    # may not run.
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f \
      >/dev/null 2>&1 9>&-
    wineserver -w 9>&-
    touch "$WINEPREFIX/.ready"
  fi
  if [[ -z ${DISPLAY:-} ]] && ! display_alive; then
    rm -f "$root/display"
    setsid Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp \
      8>"$root/display" >"$root/xvfb.log" 2>&1 9>&- &
    echo $! > "$root/xvfb.pid"
    for _ in $(seq 100); do
      [[ -s $root/display ]] && break
      sleep 0.05
    done
  fi
} 9>"$root/lock"

if [[ -z ${DISPLAY:-} ]]; then
  export DISPLAY=:$(tr -d '\n' < "$root/display")
fi
if [[ ${1:-} == --start ]]; then
  # Wine's own processes (services, devices) start with the first program
  # and live as long as the server: they must not hold a pipe of ours.
  # (A server already running for the prefix makes this one give way.)
  wineserver -p >/dev/null 2>&1 </dev/null || true
  "$wine" wineboot >/dev/null 2>&1 </dev/null
  exit 0
fi
# The program's output goes through a file for the same reason: Wine's own
# processes, started with it, would keep a pipe open after it has ended.
out=$(mktemp)
status=0
"$wine" "$@" >"$out" 2>&1 </dev/null || status=$?
cat "$out"
rm -f "$out"
exit "$status"
