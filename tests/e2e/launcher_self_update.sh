#!/usr/bin/env bash
# The launcher replaces itself, with real processes: a launcher folder at L1 and a launcher
# repository on nginx whose live release L2 differs (a changed file, a new one). The launcher
# stages L2, starts the helper and exits; the helper swaps the files, records L2 and starts the
# new launcher, which finds nothing newer and goes on to the game check (and installs r1).
# Then the same launcher from a read-only folder writes nothing there: settings, log, pointer
# record, caches and the game go to the XDG folders of a home of its own, and it leaves L2
# alone; installed by a package (the marker beside it) it does not even look for L2.
#   launcher_self_update.sh VORN_LAUNCHER VORN_SELFUPDATER VORN_PUBLISH SCRIPTS_DIR LOCALES_DIR
set -euo pipefail
launcher=$1; helper=$2; publish=$3; scripts=$4; locales=$5
work=$(mktemp -d /tmp/vorn-self-e2e.XXXXXX)
inst="$work/launcher"
first_pid=""; ro_pid=""
running_launchers() { # pids of launchers started from the installation, the replaced file included
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$inst/VornLauncher"|"$inst/VornLauncher (deleted)") echo "${p#/proc/}" ;; esac
  done
}
cleanup() {
  for pid in $first_pid $ro_pid $(running_launchers); do kill "$pid" 2>/dev/null || true; done
  chmod -R u+w "$work" 2>/dev/null || true
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
for pid in $(running_launchers); do kill "$pid"; done

# A read-only folder (the hook stands in for its mode, which root would ignore): L1 again.
# Started from elsewhere, so a relative XDG variable would show up in the current folder.
readonly_run() { # folder home tag-that-ends-the-launcher-check
  local folder=$1 home=$2
  mkdir -p "$home" "$home.run" "$work/cwd"
  chmod 700 "$home.run"
  chmod -R a-w "$folder"
  (cd "$work/cwd" && env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" XDG_STATE_HOME=relative/state \
     XDG_CACHE_HOME="$home/xdg-cache" XDG_RUNTIME_DIR="$home.run" TMPDIR="$home.run" \
     VORN_TEST_READONLY_PROGRAM_DIR=1 "$folder/VornLauncher" > "$work/launcher.log" 2>&1) &
  ro_pid=$!
  ini="$home/.config/vorn-launcher/launcher.ini"
  installed_in_home() { grep -qx 'InstalledVersion=r1' "$ini" 2>/dev/null; }
  wait_for 120 "the read-only launcher to install r1" installed_in_home
  log="$home/.local/state/vorn-launcher/logs/launcher.log"
  wait_for 30 "the launcher's own check to end" grep -qs "$3" "$log"
  kill "$ro_pid"; wait "$ro_pid" || true; ro_pid=""
  [ -f "$home/.local/share/Ostravel/.vorn/installed-manifest.json" ] || fail "the game is not in the data folder"
  [ -d "$home/xdg-cache/vorn-launcher/manifest/game" ] || fail "the kept manifest is not in the cache folder"
  grep -q 'FILES' "$log" || fail "the log does not tell where the files are"
  [ -z "$(ls -A "$work/cwd")" ] || fail "a relative XDG variable was used: $(ls -A "$work/cwd")"
  find "$folder" -newer "$work/before" | grep -q . && fail "written in the program folder: $(find "$folder" -newer "$work/before")"
  same_files "$l2" "$folder" || fail "the program folder changed"
  [ "$(find "$folder" | wc -l)" -eq "$(find "$l2" | wc -l)" ] || fail "the program folder holds more than before"
}
ro="$work/readonly"
cp -a "$l2" "$ro"
printf 'L1' > "$ro/self-version.txt"; printf 'L1' > "$l2/self-version.txt"
touch "$work/before"
readonly_run "$ro" "$work/home" SELF-READ-ONLY
[ -s "$work/home/.local/state/vorn-launcher/channel-sequence.json" ] || fail "no pointer record in the state folder"

# Installed by a package: the launcher channel is not even asked.
pkg="$work/packaged"
cp -a "$l2" "$pkg"
printf 'installed by the package manager\n' > "$pkg/installed-by-package"
cp "$pkg/installed-by-package" "$l2/"
touch "$work/before"
readonly_run "$pkg" "$work/home2" SELF-PACKAGED
[ "$(grep -c SELF-PACKAGED "$log")" -eq 1 ] || fail "the package note is not logged once"
[ -e "$work/home2/.local/state/vorn-launcher/channel-sequence.json" ] && fail "the packaged launcher looked for its own release"
if grep 'SELF-' "$log" | grep -qv SELF-PACKAGED; then fail "the packaged launcher did more about itself: $(grep SELF- "$log")"; fi
echo "launcher self-update end to end: L1 staged L2, the helper swapped it in, the new launcher went on to the game; read-only and packaged launchers wrote only to the XDG folders; 1 passed, 0 failed"
