#!/usr/bin/env bash
# The player's setup program under Wine: a silent install puts the launcher into the user's
# local application data with its shortcuts and an entry in the installed programs; the
# launcher starts from there, at the display's scale; the uninstaller removes all of it but
# the game folder, which goes only when asked for, and only when the launcher manages it.
#   wine_installer.sh SETUP_EXE SCRIPTS_DIR
# With SHOTS_DIR (and VORN_GALLERY) set it saves the window at 150 % there.
set -euo pipefail
setup=$(realpath "$1"); scripts=$2
: "${VORN_WINEPREFIX:?VORN_WINEPREFIX must name the Wine prefix of the build}"
export VORN_WINEPREFIX="$VORN_WINEPREFIX-setup"
work=$(mktemp -d /tmp/vorn-wine-setup.XXXXXX)
launcher_pid=""; xvfb_pid=""
cleanup() {
  "$scripts/wine-run" --stop >/dev/null 2>&1 || true
  [ -z "$launcher_pid" ] || kill "$launcher_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work" "$VORN_WINEPREFIX"
}
trap cleanup EXIT
# shellcheck source=e2e-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
command -v xdotool >/dev/null || fail "xdotool is not installed (scripts/install-deps)"
shown() { xdotool search --onlyvisible --name '^Ostravel$' >/dev/null 2>&1; }

# The prefix's Desktop and documents folders lead into the home folder, where the desktop
# shortcut lands: a home of the test's own keeps the tester's clean.
export HOME="$work/home"
mkdir -p "$HOME/Desktop"
rm -rf "$VORN_WINEPREFIX"
# shellcheck source=../../scripts/window-driver
source "$scripts/window-driver"
# The display comes first: Wine's desktop takes the screen's size when the prefix starts, and a
# desktop started without one clips every window to 1024 x 768.
start_display "$work/x" 1920x1080 || fail "no virtual display"
export VORN_WINE_DISPLAY=$DISPLAY
"$scripts/wine-run" --init >/dev/null || fail "no Wine prefix"
users="$VORN_WINEPREFIX/drive_c/users"
local_data() { find "$users" -maxdepth 3 -type d -path '*/AppData/Local' | head -n 1; }
registered() { "$scripts/wine-run" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\OstravelLauncher' /v InstallLocation >/dev/null 2>&1; }
shortcuts() { find "$users" "$HOME/Desktop" -name 'Ostravel Launcher.lnk' | wc -l; }
gone() { [ ! -e "$inst" ]; }
install() {
  "$scripts/wine-run" "$setup" /S > "$work/setup.log" 2>&1 || fail "the silent install failed"
  wait_for 120 "the installed launcher" test -f "$inst/uninstall.exe"
}
uninstall() { # extra options
  # The uninstaller copies itself away and runs from there, so the call returns at once.
  "$scripts/wine-run" "$inst/uninstall.exe" /S "$@" >> "$work/setup.log" 2>&1 \
    || fail "the uninstaller did not start"
  wait_for 120 "the uninstaller to remove the launcher folder" gone
}

inst="$(local_data)/Ostravel Launcher"
game="$(local_data)/Ostravel"
install
for f in VornLauncher.exe VornSelfUpdater.exe vorn-update.exe platforms/qwindows.dll launcher.json; do
  [ -f "$inst/$f" ] || fail "the install lacks $f"
done
registered || fail "no entry in the installed programs"
[ "$(shortcuts)" -eq 2 ] || fail "expected a Start-menu and a desktop shortcut, found $(shortcuts)"

# Started from where it was installed, the launcher shows its window and keeps its settings
# there. Its servers are a closed loopback port: nothing leaves this machine.
printf '{"updateBaseUrls": ["http://127.0.0.1:9/game/"], "selfUpdateBaseUrls": []}\n' > "$inst/launcher.json"
mkdir -p "$game/.vorn"
printf 'saved game\n' > "$game/save.dat"
# A display at 150 %, as Windows states it: the window follows at 1590 x 930.
for key in 'HKCU\Control Panel\Desktop' \
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
  "$scripts/wine-run" reg add "$key" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 \
    || fail "could not set the display's scale"
done
"$scripts/wine-run" "$inst/VornLauncher.exe" > "$work/launcher.log" 2>&1 &
launcher_pid=$!
wait_for 180 "the installed launcher's window" shown
find_window || fail "no launcher window"
[ "${WIDTH}x${HEIGHT}" = 1590x930 ] || fail "at 144 dpi the window is ${WIDTH}x${HEIGHT}, not 1590x930"
if [ -n "${SHOTS_DIR:-}" ]; then
  sleep 3 # the first paint follows the window
  VORN_GALLERY=${VORN_GALLERY:?VORN_GALLERY names vorn-gallery for screenshots} \
    grab_screen "$SHOTS_DIR/windows-launcher-wine-150.png" "$X" "$Y" "$WIDTH" "$HEIGHT" || fail "screenshot"
fi
wait_for 60 "the launcher's settings beside it" test -f "$inst/launcher.ini"
printf 'mine\n' > "$inst/notes.txt"
"$scripts/wine-run" --stop >/dev/null 2>&1 || true
wait "$launcher_pid" 2>/dev/null || true
launcher_pid=""

# A file of the player's own keeps the folder; everything of ours goes.
"$scripts/wine-run" "$inst/uninstall.exe" /S >> "$work/setup.log" 2>&1 || fail "the uninstaller did not start"
only_notes() { [ "$(ls -A "$inst" 2>/dev/null)" = "notes.txt" ]; }
wait_for 120 "the uninstaller to leave only the player's own file" only_notes
registered && fail "the installed programs still list the launcher"
[ "$(shortcuts)" -eq 0 ] || fail "the uninstaller left $(shortcuts) shortcuts"
[ -f "$game/save.dat" ] || fail "the uninstaller removed the game folder without being asked"
rm "$inst/notes.txt"; rmdir "$inst"

# Asked to, it removes a game folder the launcher manages, but never one that is not.
install
mine="$work/mine"
mkdir -p "$mine"; printf 'precious\n' > "$mine/keep.txt"
printf '[Game]\nRoot=Z:%s\n' "$(printf '%s' "$mine" | sed 's|/|\\\\|g')" > "$inst/launcher.ini"
uninstall /RemoveGame
[ -f "$mine/keep.txt" ] || fail "the uninstaller removed a folder the launcher does not manage"
[ -f "$game/save.dat" ] || fail "the uninstaller removed the default game folder, not the configured one"
install
uninstall /RemoveGame
[ -e "$game" ] && fail "the uninstaller kept the game folder it was asked to remove"
echo "Setup under Wine: silent install, shortcuts and entry, the launcher started from the" \
  "installed folder, the uninstaller removed the launcher and the game folder only when asked; 1 passed, 0 failed"
