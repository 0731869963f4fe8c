#!/usr/bin/env bash
# Runs a Windows sound test under Wine with sound that keeps real time:
#   sound-run.sh ROOT PROGRAM.exe [ARGS...]
# ALSA's null device takes samples faster than they play, so cues would end
# early; here ALSA's default is a private PulseAudio server with a null sink,
# whose monitor is recorded, as 16-bit stereo at 44100 Hz, to ROOT/capture.raw.
#   sound-run.sh ROOT --stop   ends the server, the recorder and the prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$1
shift
mkdir -p "$root/pulse"
root=$(cd "$root" && pwd)
pulse=$root/pulse
export PULSE_RUNTIME_PATH=$pulse PULSE_STATE_PATH=$pulse HOME=$root/home
server=unix:$pulse/native

stop_pid() {
  [[ -f $1 ]] && kill "$(cat "$1")" 2>/dev/null || true
  rm -f "$1"
}
if [[ ${1:-} == --stop ]]; then
  stop_pid "$pulse/parec.pid"
  stop_pid "$pulse/server.pid"
  exec "$here/wine-run.sh" "$root" --stop
fi

{
  flock 9
  [[ -f $root/prefix/.ready ]] || "$here/wine-run.sh" "$root" --start 9>&-
  if ! pactl --server="$server" info >/dev/null 2>&1; then
    setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 \
      --disable-shm --use-pid-file=no \
      -L "module-native-protocol-unix socket=$pulse/native auth-anonymous=1" \
      -L "module-null-sink sink_name=capture rate=44100 channels=2" \
      </dev/null >"$pulse/server.log" 2>&1 9>&- &
    echo $! >"$pulse/server.pid"
    for _ in $(seq 100); do
      pactl --server="$server" info >/dev/null 2>&1 && break
      sleep 0.05
    done
    setsid parec --server="$server" -d capture.monitor --raw \
      --format=s16le --rate=44100 --channels=2 --latency-msec=5 \
      "$root/capture.raw" </dev/null >"$pulse/parec.log" 2>&1 9>&- &
    echo $! >"$pulse/parec.pid"
    # Tests read the recording as it grows: it must run before they start.
    for _ in $(seq 100); do
      [[ -s $root/capture.raw ]] && break
      sleep 0.05
    done
  fi
  printf 'pcm.!default { type pulse server "%s" }\nctl.!default { type pulse server "%s" }\n' \
    "$server" "$server" >"$root/home/.asoundrc"
} 9>"$root/sound.lock"

exec "$here/wine-run.sh" "$root" "$@"
