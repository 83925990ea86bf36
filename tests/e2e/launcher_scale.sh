#!/usr/bin/env bash
# The real window on scaled displays: on a 192 dpi X display the launcher doubles itself to
# 2120 x 1240 pixels; a desktop that states 150 % (Xft.dpi 144) and QT_SCALE_FACTOR=1.5 make it
# 1590 x 930; a 100 dpi server that states nothing keeps it at 1060 x 620 instead of blurring
# it by 4 %. Each time it installs a release as usual. nginx serves the release on loopback.
#   launcher_scale.sh VORN_LAUNCHER VORN_PUBLISH VORN_GALLERY SCRIPTS_DIR LOCALES_DIR
# With SHOTS_DIR set it saves window-scale-200.png and window-scale-150.png there.
set -euo pipefail
launcher=$1; publish=$2; gallery=$3; scripts=$4; locales=$5
shots=${SHOTS_DIR:-}
work=$(mktemp -d /tmp/vorn-scale-e2e.XXXXXX)
launcher_pid=""; xvfb_pid=""
stop_launcher() {
  [ -z "$launcher_pid" ] || { kill "$launcher_pid" 2>/dev/null || true; wait "$launcher_pid" 2>/dev/null || true; }
  [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
  launcher_pid=""; xvfb_pid=""
}
cleanup() {
  stop_launcher
  "$scripts/nginx-serve" stop "$work/nginx" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=e2e-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
for tool in Xvfb xdotool xprop nginx; do
  command -v "$tool" >/dev/null || command -v "/usr/sbin/$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done
# shellcheck source=../../scripts/window-driver
source "$scripts/window-driver"
export VORN_GALLERY=$gallery

"$publish" keygen --out "$work/keys" --bits 2048 >/dev/null
src="$work/source"
mkdir -p "$src/bin" "$src/data"
printf '#!/bin/sh\n' > "$src/bin/vorn.exe"; chmod +x "$src/bin/vorn.exe"
head -c $((1024 * 1024)) /dev/urandom > "$src/data/world.pak"
"$publish" release --source "$src" --repo "$work/repo" --key "$work/keys/release-private.pem" \
  --release-id r1 --profile 'legacy:Ostravel:bin/vorn.exe' >/dev/null
port=$("$scripts/free-port")
"$scripts/nginx-serve" start "$work/repo" "$port" "$work/nginx"

# A display of the given size and dpi. Its size is a whole number of millimetres at that dpi,
# or the server's rounding would make 192 dpi 191.7 and the window 2117 px wide.
start_scaled_display() { # run-dir WxH dpi
  mkdir -p "$1"
  exec 3> "$1/display"
  # -noreset: the server would drop the root window's properties when xprop disconnects.
  Xvfb -displayfd 3 -screen 0 "$2x24" -dpi "$3" -noreset -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  wait_for 20 "Xvfb" test -s "$1/display"
  export DISPLAY=":$(head -n 1 "$1/display")"
}

run_scaled() { # name, display size, dpi, Xft.dpi or empty, QT_SCALE_FACTOR or empty, expected WxH, screenshot
  local name=$1 size=$2 dpi=$3 xft=$4 factor=$5 expected=$6 shot=${7:-}
  local dir="$work/$name"
  mkdir -p "$dir/launcher" "$dir/run"
  chmod 700 "$dir/run"
  cp "$launcher" "$dir/launcher/VornLauncher"
  cp -r "$locales" "$dir/launcher/locales"
  cp "$work/keys/public-key.blob" "$dir/launcher/"
  printf '{"updateBaseUrls": ["http://127.0.0.1:%s/"], "selfUpdateBaseUrls": []}\n' "$port" > "$dir/launcher/launcher.json"
  printf '[Game]\nRoot=%s\n\n[Launcher]\nLanguage=en\nShowLog=false\n' "$dir/Ostravel" > "$dir/launcher/launcher.ini"
  start_scaled_display "$dir/x" "$size" "$dpi"
  # Where desktops keep their scale setting.
  [ -z "$xft" ] || xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t%s\n' "$xft")"
  local env=(XDG_RUNTIME_DIR="$dir/run" TMPDIR="$dir/run")
  [ -z "$factor" ] || env+=(QT_SCALE_FACTOR="$factor")
  env "${env[@]}" "$dir/launcher/VornLauncher" > "$work/launcher.log" 2>&1 &
  launcher_pid=$!
  find_window || fail "$name: the launcher window did not appear"
  [ "${WIDTH}x${HEIGHT}" = "$expected" ] || fail "$name: the window is ${WIDTH}x${HEIGHT}, not $expected"
  wait_for 120 "$name: the launcher to install r1" grep -qx 'InstalledVersion=r1' "$dir/launcher/launcher.ini"
  same_files "$src" "$dir/Ostravel" || fail "$name: the game folder differs from r1"
  if [ -n "$shots" ] && [ -n "$shot" ]; then
    sleep 2
    grab_screen "$shots/$shot" "$X" "$Y" "$WIDTH" "$HEIGHT" || fail "screenshot $shot"
  fi
  stop_launcher
}

run_scaled "192 dpi" 2880x1920 192 "" "" 2120x1240 window-scale-200.png
run_scaled "Xft.dpi 144" 1920x1080 96 144 "" 1590x930
run_scaled "QT_SCALE_FACTOR 1.5" 1920x1080 96 "" 1.5 1590x930 window-scale-150.png
run_scaled "100 dpi, nothing stated" 1920x1080 100 "" "" 1060x620
echo "launcher on scaled displays: 2120x1240 at 192 dpi, 1590x930 at 150 % (Xft.dpi, QT_SCALE_FACTOR), 1060x620 at an unstated 100 dpi, r1 installed each time; 1 passed, 0 failed"
