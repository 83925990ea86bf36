#!/usr/bin/env bash
# End to end with the real window: vorn-publish makes r1 and r2, nginx serves them over plain HTTP on loopback,
# vorn-update installs r1, then VornLauncher starts on a virtual X display, updates the game to
# r2 by itself, Play (clicked with xdotool) starts the stand-in client, and Close ends the
# launcher.
#   launcher_window.sh VORN_LAUNCHER VORN_PUBLISH VORN_UPDATE VORN_GALLERY SCRIPTS_DIR LOCALES_DIR
# With SHOTS_DIR set it also saves screenshots of an update in progress, up to date, waiting
# for the game and a failed update there (the download is then rate limited so that speed and
# time left show).
set -euo pipefail
launcher=$1; publish=$2; update=$3; gallery=$4; scripts=$5; locales=$6
shots=${SHOTS_DIR:-}
work=$(mktemp -d /tmp/vorn-window-e2e.XXXXXX)
launcher_pid=""; xvfb_pid=""; game_pid=""
cleanup() {
  for pid in $launcher_pid $game_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  "$scripts/nginx-serve" stop "$work/nginx" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=e2e-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
for tool in Xvfb xdotool nginx; do
  command -v "$tool" >/dev/null || command -v "/usr/sbin/$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done
installed() { grep -qx "InstalledVersion=$1" "$work/launcher/launcher.ini" 2>/dev/null; }
release() { # id
  "$publish" release --source "$src" --repo "$repo" --key "$work/keys/release-private.pem" \
    --release-id "$1" --preserve 'config/*.cfg' --profile 'legacy:Ostravel:bin/vorn.exe:-lang ru' >/dev/null
}

"$publish" keygen --out "$work/keys" --bits 2048 >/dev/null
src="$work/source"; repo="$work/repo"; game="$work/Ostravel"
marker="$work/client-started.txt"
mkdir -p "$src/bin" "$src/data" "$src/config"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s"\n' "$marker" > "$src/bin/vorn.exe"
chmod +x "$src/bin/vorn.exe"
head -c $((6 * 1024 * 1024)) /dev/urandom > "$src/data/world.pak"
printf 'volume=7\n' > "$src/config/user.cfg"
release r1

port=$("$scripts/free-port")
# The launcher trusts only the system's certificate authorities, never a test one handed in
# from outside; plain HTTP to the local machine is what its URL rule allows instead.
"$scripts/nginx-serve" start "$repo" "$port" "$work/nginx"
mkdir -p "$work/launcher" "$work/run"
chmod 700 "$work/run"
printf '{"updateBaseUrls": ["http://127.0.0.1:%s/"], "selfUpdateBaseUrls": []}\n' "$port" > "$work/launcher/launcher.json"
"$update" --config "$work/launcher/launcher.json" --key "$work/keys/public-key.blob" --game-dir "$game" \
  --cache-dir "$work/cache" --ignore-running-game >/dev/null 2>&1 || fail "vorn-update could not install r1"
[ -x "$game/bin/vorn.exe" ] || fail "the installed client is not executable"

# r2: a changed block, a new file. Screenshots want a download long enough to show its speed.
printf '\x5a' | dd of="$src/data/world.pak" bs=1 seek=$((3 * 1024 * 1024)) conv=notrunc status=none
patch_mib=1; rate_limited=false
if [ -n "$shots" ]; then patch_mib=12; rate_limited=true; fi
head -c $((patch_mib * 1024 * 1024)) /dev/urandom > "$src/data/patch.pak"
release r2

cp "$launcher" "$work/launcher/VornLauncher"
cp -r "$locales" "$work/launcher/locales"
cp "$work/keys/public-key.blob" "$work/launcher/"
cat > "$work/launcher/launcher.ini" <<INI
[Game]
Root=$game
InstalledVersion=r1

[Launcher]
Language=en
ShowLog=true
MinimizeOnGameLaunch=false
DownloadRateLimitEnabled=$rate_limited
DownloadRateLimitMBps=2
INI

# shellcheck source=../../scripts/window-driver
source "$scripts/window-driver"
export VORN_GALLERY=$gallery
start_display "$work/x" || fail "no virtual display"
export XDG_RUNTIME_DIR="$work/run" TMPDIR="$work/run"

"$work/launcher/VornLauncher" > "$work/launcher.log" 2>&1 &
launcher_pid=$!
find_window || fail "the launcher window did not appear"
shot() { [ -z "$shots" ] || { sleep "$2"; grab_screen "$shots/$1" || fail "screenshot $1"; }; }

shot window-update-progress.png 5
wait_for 180 "the launcher to install r2" installed r2
same_files "$src" "$game" || fail "the game folder differs from r2"
shot window-up-to-date.png 1

click_play
wait_for 30 "the stand-in client to start" test -s "$marker"
[ "$(cat "$marker")" = "$(printf -- '-lang\nru\n/en')" ] || fail "the client got: $(cat "$marker")"

if [ -n "$shots" ]; then
  # Waiting for a running game: a process named like the client, and a new release.
  cp "$(command -v sleep)" "$work/$VORN_TEST_GAME_PROCESS"
  "$work/$VORN_TEST_GAME_PROCESS" 600 & game_pid=$!
  printf 'notes\n' > "$src/data/notes.txt"
  release r3
  click_check
  shot window-waiting-for-game.png 6
  kill "$game_pid"; game_pid=""
  wait_for 60 "the deferred update" installed r3
  # A failed update: one object of r4 is gone from the server.
  head -c $((256 * 1024)) /dev/urandom > "$src/data/lost.pak"
  release r4
  python3 - "$repo" <<'PY'
import json, os, sys
repo = sys.argv[1]
manifest = json.load(open(os.path.join(repo, "manifests", "r4.json")))
blob = next(c["blobSha256"] for f in manifest["files"] if f["path"] == "data/lost.pak" for c in f["chunks"])
os.remove(os.path.join(repo, "objects", blob[:2], blob + ".bin"))
PY
  sleep 1
  click_check
  shot window-update-failed.png 6
fi

click_close
for _ in $(seq 1 100); do kill -0 "$launcher_pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$launcher_pid" 2>/dev/null; then fail "Close did not end the launcher"; fi
wait "$launcher_pid" || fail "the launcher ended with an error"
launcher_pid=""
echo "launcher window end to end: updated r1 to r2, Play started the client, Close quit; 1 passed, 0 failed"
