#!/usr/bin/env bash
# Registers the test voice (test_voice.reg) in the Wine prefix of ROOT, so
# that programs run there with wine-run.sh get it for CLSID_SpVoice:
#   register.sh ROOT REG_FILE
set -euo pipefail
root=$1
reg=$(realpath "$2")
run=$(dirname "$(realpath "$0")")/../wine-run.sh
"$run" "$root" --start
# regedit takes a Windows path: Wine's Z: is the Linux root.
"$run" "$root" regedit /S "Z:${reg//\//\\}"
