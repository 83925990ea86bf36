#!/usr/bin/env bash
# The real launcher and a real notification area: VornLauncher on a virtual X display, first
# without a tray host (Close quits), then with trayer as the tray host: Close hides the window
# and shows the hint once, a click on the hint or on the icon brings the window back, and the
# tray menu's Exit quits.
#   launcher_tray.sh VORN_LAUNCHER VORN_GALLERY SCRIPTS_DIR LOCALES_DIR
# With SHOTS_DIR set it also saves the tray menu and the settings and proxy dialogs in English
# and Russian there.
set -euo pipefail
launcher=$1; gallery=$2; scripts=$3; locales=$4
shots=${SHOTS_DIR:-}
work=$(mktemp -d /tmp/vorn-tray-e2e.XXXXXX)
launcher_pid=""; xvfb_pid=""; trayer_pid=""
cleanup() {
  for pid in $launcher_pid $trayer_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/launcher.log" ] && tail -n 30 "$work/launcher.log" >&2
  if [ -n "${DISPLAY:-}" ]; then
    for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
      echo "window $w '$(xdotool getwindowname "$w")' $(xdotool getwindowgeometry "$w" | tail -n +2 | tr -s ' \n' ' ')" >&2
    done
  fi
  exit 1
}
for tool in Xvfb xdotool trayer; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done
wait_for() { # seconds, description, command...
  local limit=$1 what=$2; shift 2
  for _ in $(seq 1 $((limit * 5))); do "$@" && return 0; sleep 0.2; done
  fail "waited ${limit}s for $what"
}

mkdir -p "$work/launcher" "$work/run" "$work/config"
chmod 700 "$work/run"
cp "$launcher" "$work/launcher/VornLauncher"
cp -r "$locales" "$work/launcher/locales"
# No release key: every check fails at once and says so in the log, which the shots show.
printf '{"updateBaseUrls": ["https://127.0.0.1:9/"], "siteUrl": "https://ostravel.example/"}\n' \
  > "$work/launcher/launcher.json"
cat > "$work/launcher/launcher.ini" <<INI
[Launcher]
Language=en
ShowLog=true
CloseToTray=true

[Proxy]
Mode=manual-http
Host=proxy.example
Port=3128
User=player
INI

# shellcheck source=../../scripts/window-driver
source "$scripts/window-driver"
export VORN_GALLERY=$gallery
start_display "$work/x" 1280x800 || fail "no virtual display"
# No session bus: Qt's own balloons, which are windows xdotool can see.
unset DBUS_SESSION_BUS_ADDRESS
export XDG_RUNTIME_DIR="$work/run" TMPDIR="$work/run" XDG_CONFIG_HOME="$work/config"

start_launcher() {
  "$work/launcher/VornLauncher" >> "$work/launcher.log" 2>&1 &
  launcher_pid=$!
  find_window || fail "the launcher window did not appear"
}
named_window() { [ -n "$(xdotool search "$@" 2>/dev/null)" ]; } # xdotool search arguments
window_shown() { named_window --onlyvisible --name '^Ostravel$'; }
window_hidden() { ! window_shown; }
running() { kill -0 "$launcher_pid" 2>/dev/null; }
ended() { ! running; }
not() { ! "$@"; }
# The launcher's windows, told apart by size: the tray icon, the balloon, the menu, the window.
launcher_windows() {
  local w
  for w in $(xdotool search --onlyvisible --classname '^VornLauncher$' 2>/dev/null); do
    (eval "$(xdotool getwindowgeometry --shell "$w")"; echo "$X $Y $WIDTH $HEIGHT")
  done
}
balloon() { launcher_windows | awk '$3 > 200 && $4 < 200 { print $1 + 40, $2 + 40; exit }'; }
balloon_shown() { [ -n "$(balloon)" ]; }
menu_shown() { launcher_windows | awk '$3 > 60 && $3 < 400 && $4 > 120 && $4 < 400 { f = 1 } END { exit !f }'; }
shot() { [ -z "$shots" ] || grab_screen "$shots/$1" "${@:2}" || fail "screenshot $1"; }

# Without a notification area a hidden launcher could not be reached again: Close quits.
start_launcher
click_close
wait_for 20 "Close to end the launcher without a tray host" ended
wait "$launcher_pid" || fail "the launcher ended with an error"

trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
trayer_pid=$!
wait_for 20 "the tray host" named_window --name '^panel$'
start_launcher
icon=""
find_icon() { icon=$(launcher_windows | awk '$3 <= 32 && $4 <= 32 { print $1 + $3 / 2, $2 + $4 / 2; exit }'); [ -n "$icon" ]; }
wait_for 20 "the launcher's icon in the tray" find_icon

click_close
wait_for 10 "Close to hide the window" window_hidden
running || fail "Close ended the launcher although a tray is there"
wait_for 10 "the hint balloon" balloon_shown
# A click on the balloon brings the window back.
# shellcheck disable=SC2046
click_at $(balloon)
wait_for 10 "the balloon click to show the window" window_shown

click_close
wait_for 10 "the second Close to hide the window" window_hidden
sleep 2
balloon_shown && fail "the hint was shown a second time"
# shellcheck disable=SC2086
click_at $icon
wait_for 10 "a click on the icon to show the window" window_shown
find_window

if [ -n "$shots" ]; then
  settings_shots() { # language
    local title proxy_title d
    if [ "$1" = ru ]; then title='Настройки лаунчера'; proxy_title='Настройки прокси'
    else title='Launcher settings'; proxy_title='Proxy settings'; fi
    click_at $((X + WIDTH - 303)) $((Y + HEIGHT - 58))
    wait_for 10 "the settings dialog" named_window --onlyvisible --name "^$title\$"
    sleep 0.5
    shot "settings-$1.png" "$X" "$Y" "$WIDTH" "$HEIGHT"
    d=$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)
    eval "$(xdotool getwindowgeometry --shell "$d" | sed 's/^/D_/')"
    click_at $((D_X + 60)) $((D_Y + D_HEIGHT - 92))
    wait_for 10 "the proxy dialog" named_window --onlyvisible --name "^$proxy_title\$"
    sleep 0.5
    shot "proxy-$1.png" "$X" "$Y" "$WIDTH" "$HEIGHT"
    xdotool key Escape; sleep 0.3; xdotool key Escape
    wait_for 10 "the dialogs to close" not named_window --onlyvisible --name "^$title\$"
  }
  settings_shots en
  # The language menu under its button, first entry RU.
  click_at $((X + WIDTH - 114)) $((Y + 41)); sleep 0.5; xdotool key Down Return; sleep 1
  settings_shots ru
  click_at $((X + WIDTH - 114)) $((Y + 41)); sleep 0.5; xdotool key Down Down Return; sleep 1
fi

# shellcheck disable=SC2086
xdotool mousemove --sync $icon click 3
wait_for 10 "the tray menu" menu_shown
sleep 0.3
shot tray-menu.png 860 500 420 300
# Up wraps round to the last entry, Exit.
xdotool key Up Return
wait_for 20 "Exit to end the launcher" ended
wait "$launcher_pid" || fail "the launcher ended with an error"
launcher_pid=""
echo "launcher tray end to end: Close quit without a tray, hid to the tray with one hint, the hint and the icon brought the window back, Exit quit; 1 passed, 0 failed"
