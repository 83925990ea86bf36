#!/usr/bin/env bash
# The launcher replaces itself, with real processes: a launcher folder at L1 and a launcher
# repository on nginx whose live release L2 differs (a changed file, a new one). The launcher
# stages L2, starts the helper and exits; the helper swaps the files, records L2 and starts the
# new launcher, which finds nothing newer and goes on to the game check (and installs r1).
#   launcher_self_update.sh VORN_LAUNCHER VORN_SELFUPDATER VORN_PUBLISH SCRIPTS_DIR LOCALES_DIR
set -euo pipefail
launcher=$1; helper=$2; publish=$3; scripts=$4; locales=$5
work=$(mktemp -d /tmp/vorn-self-e2e.XXXXXX)
inst="$work/launcher"
first_pid=""
running_launchers() { # pids of launchers started from the installation, the replaced file included
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$inst/VornLauncher"|"$inst/VornLauncher (deleted)") echo "${p#/proc/}" ;; esac
  done
}
cleanup() {
  for pid in $first_pid $(running_launchers); do kill "$pid" 2>/dev/null || true; done
  "$scripts/nginx-serve" stop "$work/nginx" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=e2e-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"

"$publish" keygen --out "$work/keys" --bits 2048 >/dev/null
port=$("$scripts/free-port")
base="http://127.0.0.1:$port"

# The game: one small release, so that the game check has something to install.
mkdir -p "$work/game-source/bin"
printf '#!/bin/sh\n' > "$work/game-source/bin/vorn.exe"
head -c 100000 /dev/urandom > "$work/game-source/data.pak"
"$publish" release --source "$work/game-source" --repo "$work/www/game" \
  --key "$work/keys/release-private.pem" --release-id r1 >/dev/null

# The launcher as published: programs, catalogues, configuration and key.
l2="$work/launcher-L2"
mkdir -p "$l2/extras"
cp "$launcher" "$l2/VornLauncher"
cp "$helper" "$l2/VornSelfUpdater"
cp -r "$locales" "$l2/locales"
cp "$work/keys/public-key.blob" "$l2/"
printf '{"updateBaseUrls": ["%s/game/"], "selfUpdateBaseUrls": ["%s/launcher/"]}\n' "$base" "$base" \
  > "$l2/launcher.json"
printf 'Ostravel launcher L2\n' > "$l2/readme.txt"
printf 'new in L2\n' > "$l2/extras/marker.txt"
"$publish" release --source "$l2" --repo "$work/www/launcher" \
  --key "$work/keys/release-private.pem" --release-id L2 >/dev/null

# The installed L1: the same programs, an older readme, no marker.
cp -a "$l2" "$inst"
rm -r "$inst/extras"
printf 'Ostravel launcher L1\n' > "$inst/readme.txt"
printf 'L1' > "$inst/self-version.txt"
cat > "$inst/launcher.ini" <<INI
[Game]
Root=$work/Ostravel

[Launcher]
Language=en
INI

"$scripts/nginx-serve" start "$work/www" "$port" "$work/nginx"
mkdir -p "$work/run"
chmod 700 "$work/run"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" TMPDIR="$work/run"
export VORN_SELFUPDATER_NO_DIALOG=1
"$inst/VornLauncher" > "$work/launcher.log" 2>&1 &
first_pid=$!

gone() { ! kill -0 "$first_pid" 2>/dev/null; }
wait_for 120 "the launcher to hand over to the helper and exit" gone
wait "$first_pid" || fail "the launcher ended with an error"
first_pid=""
version_l2() { [ "$(cat "$inst/self-version.txt" 2>/dev/null)" = "L2" ]; }
wait_for 120 "the helper to record L2" version_l2
installed_r1() { grep -qx 'InstalledVersion=r1' "$inst/launcher.ini" 2>/dev/null; }
wait_for 120 "the new launcher's game check to install r1" installed_r1

[ "$(running_launchers | wc -l)" -eq 1 ] || fail "launchers running: $(running_launchers | tr '\n' ' ')"
[ -d "$inst/cache/self-update/L2" ] && fail "the new launcher staged L2 again"
[ -e "$inst/.self-update-backup" ] && fail "the helper left its backup"
[ -x "$inst/VornLauncher" ] && [ -x "$inst/VornSelfUpdater" ] || fail "a program lost its executable bit"
[ -x "$inst/readme.txt" ] && fail "a data file became executable"
# Byte for byte: the published folder plus the recorded version. Settings, the newest release
# pointer seen, caches and logs are the installation's own.
printf 'L2' > "$l2/self-version.txt"
cp -a "$inst" "$work/check"
rm -rf "$work/check/launcher.ini" "$work/check/channel-sequence.json" "$work/check/cache" "$work/check/logs"
same_files "$l2" "$work/check" || fail "the launcher folder differs from L2"
echo "launcher self-update end to end: L1 staged L2, the helper swapped it in, the new launcher went on to the game; 1 passed, 0 failed"
