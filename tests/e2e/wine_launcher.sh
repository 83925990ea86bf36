#!/usr/bin/env bash
# The Windows launcher as players get it, under Wine on a virtual X display. The native
# vorn-publish makes the releases, nginx serves them over plain HTTP on loopback (the URL rule
# allows it for this machine, so Wine's certificate store stays as it is), and:
#   vorn-update.exe installs r1; VornLauncher.exe updates the game to r2 by itself;
#   Play starts the stand-in vorn.exe, which records its arguments and keeps running; a check
#   then finds r3 and waits for the game (Tool Help sees vorn.exe), and installs r3 once it ends;
#   Close hides the window to Wine's notification area (or quits where there is none); a second
#   start brings the first window back and exits; Close with the tray switched off quits;
#   a launcher release L2 is staged and handed to VornSelfUpdater.exe, which replaces the
#   launcher's files and starts the new launcher.
#   wine_launcher.sh PLAYER_DIR STAND_IN_EXE NATIVE_BUILD_DIR SCRIPTS_DIR
# With SHOTS_DIR set it saves the up-to-date window there as windows-launcher-wine.png.
set -euo pipefail
player=$(realpath "$1"); stand_in=$2; native=$3; scripts=$4
publish=$native/tools/vorn-publish/vorn-publish
gallery=$native/tools/vorn-gallery/vorn-gallery
shots=${SHOTS_DIR:-}
: "${VORN_WINEPREFIX:?VORN_WINEPREFIX must name the Wine prefix of the build}"
# A prefix of its own beside the build's: its programs are ended with it, not the unit tests'.
export VORN_WINEPREFIX="$VORN_WINEPREFIX-e2e"
work=$(mktemp -d /tmp/vorn-wine-e2e.XXXXXX)
inst="$work/launcher"
launcher_pid=""; xvfb_pid=""
cleanup() {
  rm -f "$work/hold"
  "$scripts/wine-run" --stop >/dev/null 2>&1 || true
  [ -z "$launcher_pid" ] || kill "$launcher_pid" 2>/dev/null || true
  "$scripts/nginx-serve" stop "$work/nginx" >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=e2e-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
# What the launcher itself logged says more than Wine's output.
fail() {
  echo "FAIL: $*" >&2
  tail -n 20 "$work/launcher.log" "$inst/logs/launcher.log" >&2 2>/dev/null || true
  exit 1
}
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done
[ -x "$publish" ] || fail "no native vorn-publish in $native"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# The settings file has Windows line ends.
installed() { grep -qxE "InstalledVersion=$1"$'\r?' "$inst/launcher.ini" 2>/dev/null; }
logged() { grep -q "\[$1\]" "$inst/logs/launcher.log" 2>/dev/null; }
shown() { xdotool search --onlyvisible --name '^Ostravel$' >/dev/null 2>&1; }
hidden() { ! shown; }
running() { kill -0 "$launcher_pid" 2>/dev/null; }
ended() { ! running; }
release() { # id
  "$publish" release --source "$src" --repo "$work/www/game" --key "$work/keys/release-private.pem" \
    --release-id "$1" --preserve 'config/*.cfg' --profile "legacy:Ostravel:bin/$client:-lang ru" >/dev/null
}
# Wine and Qt take a while to bring a window up on a loaded machine.
await_window() { wait_for 180 "$1" shown; find_window || fail "$1"; }
start_launcher() {
  "$scripts/wine-run" "$inst/VornLauncher.exe" >> "$work/launcher.log" 2>&1 &
  launcher_pid=$!
}
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy no_proxy

# shellcheck source=../../scripts/window-driver
source "$scripts/window-driver"
# The display comes first: Wine's desktop takes the screen's size when the prefix starts, and a
# desktop started without one clips every window to 1024 x 768.
start_display "$work/x" 1280x800 || fail "no virtual display"
export VORN_WINE_DISPLAY=$DISPLAY
"$scripts/wine-run" --init >/dev/null || fail "no Wine prefix"
"$publish" keygen --out "$work/keys" --bits 2048 >/dev/null
src="$work/source"; game="$work/Ostravel"
mkdir -p "$src/bin" "$src/data" "$src/config"
# The client's name is this run's own (e2e-common.sh), so that the game check of another test
# run never sees ours.
client=$VORN_TEST_GAME_PROCESS
cp "$stand_in" "$src/bin/$client"
head -c $((6 * 1024 * 1024)) /dev/urandom > "$src/data/world.pak"
printf 'volume=7\n' > "$src/config/user.cfg"
release r1

port=$("$scripts/free-port")
"$scripts/nginx-serve" start "$work/www" "$port" "$work/nginx"
base="http://127.0.0.1:$port"
cp -r "$player" "$inst"
cp "$work/keys/public-key.blob" "$inst/"
printf '{"updateBaseUrls": ["%s/game/"], "selfUpdateBaseUrls": []}\n' "$base" > "$inst/launcher.json"
"$scripts/wine-run" "$inst/vorn-update.exe" --config "$(winpath "$inst/launcher.json")" \
  --key "$(winpath "$inst/public-key.blob")" --game-dir "$(winpath "$game")" \
  --cache-dir "$(winpath "$work/cache")" > "$work/vorn-update.log" 2>&1 \
  || { cat "$work/vorn-update.log" >&2; fail "vorn-update.exe could not install r1"; }
same_files "$src" "$game" || fail "vorn-update.exe installed something else than r1"

printf '\x5a' | dd of="$src/data/world.pak" bs=1 seek=$((3 * 1024 * 1024)) conv=notrunc status=none
head -c $((1024 * 1024)) /dev/urandom > "$src/data/patch.pak"
release r2
root="Z:$game"
cat > "$inst/launcher.ini" <<INI
[Game]
Root=$root
InstalledVersion=r1

[Launcher]
Language=en
ShowLog=true
CloseToTray=true
MinimizeOnGameLaunch=false
INI

export VORN_GALLERY=$gallery
export VORN_STAND_IN_RECORD; VORN_STAND_IN_RECORD=$(winpath "$work/client-arguments.txt")
export VORN_STAND_IN_HOLD; VORN_STAND_IN_HOLD=$(winpath "$work/hold")

start_launcher
await_window "the launcher window"
wait_for 300 "the launcher to install r2" installed r2
same_files "$src" "$game" || fail "the game folder differs from r2"
if [ -n "$shots" ]; then
  sleep 2 # the status text follows the install by a repaint
  find_window || fail "no launcher window to photograph"
  grab_screen "$shots/windows-launcher-wine.png" "$X" "$Y" "$WIDTH" "$HEIGHT" || fail "screenshot"
fi

touch "$work/hold"
click_play
wait_for 60 "the stand-in client to start" test -s "$work/client-arguments.txt"
[ "$(cat "$work/client-arguments.txt")" = "$(printf -- '-lang\nru\n/en')" ] \
  || fail "the client got: $(cat "$work/client-arguments.txt")"
printf 'notes\n' > "$src/data/notes.txt"
release r3
click_check
wait_for 120 "the launcher to see the running game" logged UPD-WAIT-GAME
installed r2 || fail "r3 was installed under the running game"
rm "$work/hold"
wait_for 120 "the deferred update after the game ended" installed r3
logged UPD-GAME-EXIT || fail "the log does not say the game ended"
same_files "$src" "$game" || fail "the game folder differs from r3"

click_close
tray=no
for _ in $(seq 1 600); do
  ended && break
  hidden && { tray=yes; break; }
  sleep 0.2
done
if [ "$tray" = no ]; then
  wait_for 60 "Close to end the launcher without a notification area" ended
  wait "$launcher_pid" || fail "the launcher ended with an error"
  start_launcher
  await_window "the launcher window after a restart"
fi
# A second start: the first window comes to the front (from the tray where it went there) and
# the second process ends with 0 at once.
timeout 120 "$scripts/wine-run" "$inst/VornLauncher.exe" >> "$work/launcher.log" 2>&1 \
  || fail "the second start did not end with 0"
wait_for 60 "the first window to come back" shown
running || fail "the first launcher ended"
[ "$(xdotool search --onlyvisible --name '^Ostravel$' | wc -l)" -eq 1 ] || fail "more than one launcher window"

sed -i 's/^CloseToTray=true/CloseToTray=false/' "$inst/launcher.ini"
await_window "the launcher window to close"
click_close
wait_for 60 "Close to end the launcher" ended
wait "$launcher_pid" || fail "the launcher ended with an error"
launcher_pid=""

# The launcher replaces itself: L2 is this folder as published, with a changed readme and a
# new file; the installation is L1.
l2="$work/launcher-L2"
cp -r "$player" "$l2"
cp "$work/keys/public-key.blob" "$l2/"
printf '{"updateBaseUrls": ["%s/game/"], "selfUpdateBaseUrls": ["%s/launcher/"]}\n' "$base" "$base" \
  > "$l2/launcher.json"
mkdir -p "$l2/extras"
printf 'new in L2\n' > "$l2/extras/marker.txt"
printf 'Ostravel launcher L2\n' > "$l2/readme.txt"
"$publish" release --source "$l2" --repo "$work/www/launcher" \
  --key "$work/keys/release-private.pem" --release-id L2 >/dev/null
cp "$l2/launcher.json" "$inst/launcher.json"
printf 'Ostravel launcher L1\n' > "$inst/readme.txt"
printf 'L1' > "$inst/self-version.txt"
export VORN_SELFUPDATER_NO_DIALOG=1
start_launcher
wait_for 300 "the launcher to hand over to VornSelfUpdater.exe and end" ended
wait "$launcher_pid" || fail "the launcher ended with an error before the hand-over"
launcher_pid=""
version_l2() { [ "$(cat "$inst/self-version.txt" 2>/dev/null)" = "L2" ]; }
wait_for 300 "VornSelfUpdater.exe to record L2" version_l2
await_window "the window of the new launcher"
[ -e "$inst/.self-update-backup" ] && fail "the helper left its backup"
printf 'L2' > "$l2/self-version.txt"
cp -a "$inst" "$work/check"
rm -rf "$work/check/launcher.ini" "$work/check/channel-sequence.json" "$work/check/cache" "$work/check/logs"
same_files "$l2" "$work/check" || fail "the launcher folder differs from L2"
click_close
wait_for 60 "the new launcher to end" hidden
echo "Windows launcher under Wine end to end: vorn-update.exe installed r1, the launcher updated to r2," \
  "Play started vorn.exe, r3 waited for it, tray $tray, the second start activated the first," \
  "VornSelfUpdater.exe installed L2; 1 passed, 0 failed"
