#!/usr/bin/env bash
# pelliwick.exe must run on a bare Windows: it may import Windows' own DLLs
# only, never the compiler's runtime, winpthreads or SDL.
#   imports-test.sh OBJDUMP PROGRAM.exe
set -euo pipefail
imports=$("$1" -p "$2" | sed -n 's/^\s*DLL Name: //p')
echo "$imports"
[[ -n $imports ]] || { echo "FAIL: no imports read from $2" >&2; exit 1; }
if grep -iE 'libstdc\+\+|libgcc|libwinpthread|sdl' <<<"$imports"; then
  echo "FAIL: $2 needs a DLL that Windows does not have" >&2
  exit 1
fi
