#!/usr/bin/env bash
# The installer under Wine, as a player would use it:
#   installer-test.sh ROOT INSTALLER.exe
# installs it silently (/S) into ROOT's prefix (tests/windows/wine-run.sh),
# checks the files, the Start-menu entry and the entry in Windows' list of
# programs, starts the installed game (Wine's own SAPI speaks nothing, so
# the no-voice box appears: OK must end the game with status 0), uninstalls
# it silently and checks that nothing of it is left.
set -euo pipefail
root=$1
installer=$2
here=$(cd "$(dirname "$0")" && pwd)
run() { "$here/wine-run.sh" "$root" "$@"; }
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

export WINEPREFIX=$root/prefix
drive=$WINEPREFIX/drive_c
folder="$drive/Program Files/Pelliwick"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Pelliwick"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelliwick'
# CPack's own key for the game lies under the vendor's, which must go too.
vendor_key='HKLM\Software\Pelliwick maintainers'
display=${DISPLAY:-:$(cat "$root/display")}
scratch=$(mktemp -d)
uninstall() {
  [[ -f $folder/Uninstall.exe ]] || return 0
  run "$folder/Uninstall.exe" /S
  # NSIS's uninstaller copies itself away and returns at once: wait for it.
  for _ in $(seq 600); do
    [[ ! -e $folder && ! -e $menu ]] && break
    sleep 0.1
  done
}
# A failed run uninstalls what it installed, so that the next run starts
# from a prefix without the game.
trap 'status=$?; [[ $status -eq 0 ]] || uninstall >/dev/null 2>&1; rm -rf "$scratch"; exit $status' EXIT

# A copy left by an earlier run would hide what this one installs.
[[ ! -e $folder ]] || fail "$folder exists before the install"

run "$installer" /S
for file in pelliwick.exe wild.wav dong.wav ding.wav README.txt LICENSE.txt \
  pelliwick-nvda.nvda-addon Uninstall.exe; do
  [[ -f $folder/$file ]] || fail "$file was not installed"
done
[[ -f $menu/Pelliwick.lnk ]] || fail "no Start-menu entry Pelliwick"
# The shortcut leads to the installed program (its path is in the link).
grep -aq 'pelliwick.exe' "$menu/Pelliwick.lnk" ||
  LC_ALL=C tr -d '\0' <"$menu/Pelliwick.lnk" | grep -aq 'pelliwick.exe' ||
  fail "the Start-menu entry does not lead to pelliwick.exe"
run reg query "$uninstall_key" >"$scratch/key" ||
  fail "no entry in the list of programs"
grep -q 'DisplayName.*Pelliwick' "$scratch/key" || fail "$(cat "$scratch/key")"
grep -q 'UninstallString.*Uninstall.exe' "$scratch/key" ||
  fail "$(cat "$scratch/key")"

# The installed game, started from its folder as the shortcut does. Its
# output goes to a file (never a pipe: Wine's own processes would hold it).
run 'C:\Program Files\Pelliwick\pelliwick.exe' >"$scratch/game.out" 2>&1 &
game=$!
box=
for _ in $(seq 600); do
  box=$(DISPLAY=$display xdotool search --onlyvisible --name '^Pelliwick$' \
    2>/dev/null | head -n 1) || true
  [[ -n $box ]] && break
  kill -0 "$game" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $box ]]; then
  kill "$game" 2>/dev/null || true
  fail "the installed game showed no message box: $(cat "$scratch/game.out")"
fi
DISPLAY=$display xdotool windowfocus --sync "$box" key Return
status=0
for _ in $(seq 300); do
  kill -0 "$game" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$game" 2>/dev/null && fail "the game did not end after OK"
wait "$game" || status=$?
[[ $status -eq 0 ]] ||
  fail "the game ended with status $status: $(cat "$scratch/game.out")"

uninstall
[[ ! -e $folder ]] || fail "left behind: $(find "$folder")"
[[ ! -e $menu ]] || fail "left behind: $(find "$menu")"
if run reg query "$uninstall_key" >/dev/null 2>&1; then
  fail "the list of programs still has Pelliwick"
fi
if run reg query "$vendor_key" >/dev/null 2>&1; then
  fail "left behind in the registry: $vendor_key"
fi
echo "installed, played and uninstalled: nothing left behind"
