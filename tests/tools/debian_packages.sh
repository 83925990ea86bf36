#!/usr/bin/env bash
# The Debian packages as a studio or player gets them: CPack makes vorn-tools and vorn-launcher
# from this build, lintian finds no error, and the programs run from the unpacked packages
# (dpkg-deb -x, nothing installed on the system): a key pair, a release served by nginx on
# loopback, and vorn-update installing it.
#   debian_packages.sh BUILD_DIR SCRIPTS_DIR
set -euo pipefail
build=$1; scripts=$2
work=$(mktemp -d /tmp/vorn-deb-test.XXXXXX)
cleanup() { "$scripts/nginx-serve" stop "$work/nginx" >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
# shellcheck source=../e2e/e2e-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e-common.sh"
for tool in cpack dpkg-deb dpkg-shlibdeps lintian help2man nginx; do
  command -v "$tool" >/dev/null || command -v "/usr/sbin/$tool" >/dev/null \
    || fail "$tool is not installed (scripts/install-deps)"
done

# Its own CPack folder, so a package-deb run at the same time does not meet this one.
(cd "$build" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
tools_deb=$(echo "$work"/cpack/vorn-tools_*.deb); launcher_deb=$(echo "$work"/cpack/vorn-launcher_*.deb)
[ -f "$tools_deb" ] && [ -f "$launcher_deb" ] || fail "cpack did not make both packages: $(ls "$work/cpack")"

lintian --fail-on error --tag-display-limit 0 "$tools_deb" "$launcher_deb" >"$work/lintian.log" 2>&1 \
  || { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }

# Dependencies come from the linked libraries, not from a hand-kept list.
depends() { dpkg-deb --field "$1" Depends; }
depends "$tools_deb" | grep -q 'libqt5core5a' || fail "vorn-tools depends on: $(depends "$tools_deb")"
depends "$tools_deb" | grep -q 'libqt5widgets5' && fail "vorn-tools pulls in Qt Widgets: $(depends "$tools_deb")"
depends "$launcher_deb" | grep -q 'libqt5widgets5' || fail "vorn-launcher depends on: $(depends "$launcher_deb")"

root="$work/root"
dpkg-deb -x "$tools_deb" "$root"
dpkg-deb -x "$launcher_deb" "$root"
publish="$root/usr/bin/vorn-publish"; update="$root/usr/bin/vorn-update"

# The launcher's folder: helper and catalogues beside it, reached through the command.
lib="$root/usr/lib/vorn-launcher"
[ "$(readlink -f "$root/usr/bin/vorn-launcher")" = "$(readlink -f "$lib/VornLauncher")" ] \
  || fail "vorn-launcher does not lead to the launcher"
for file in VornLauncher VornSelfUpdater; do [ -x "$lib/$file" ] || fail "$file is not executable"; done
for file in ru.ini en.ini; do [ -s "$lib/locales/$file" ] || fail "locales/$file is missing"; done
# The launcher leaves its own updates to the package only when it finds this file.
[ -s "$lib/installed-by-package" ] || fail "the package does not mark the launcher as packaged"
if ldd "$lib/VornLauncher" | grep -q 'not found'; then fail "the launcher misses libraries"; fi
desktop="$root/usr/share/applications/vorn-launcher.desktop"
grep -qx 'Exec=vorn-launcher' "$desktop" && grep -qx 'Icon=vorn-launcher' "$desktop" \
  || fail "the menu entry does not start vorn-launcher with its icon"
# Every icon size holds an image of that size.
for size in 16 24 32 48 64 128 256; do
  icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/vorn-launcher.png"
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  [ "$(python3 -c 'import struct,sys; print("%dx%d" % struct.unpack(">II", open(sys.argv[1],"rb").read()[16:24]))' "$icon")" \
    = "${size}x${size}" ] || fail "the ${size}x${size} icon has another size"
done
# The pages carry every command's options, not only the command list.
for option in --release-id --keep --expires-in --out; do
  zcat "$root/usr/share/man/man1/vorn-publish.1.gz" | grep -q -- "${option//-/\\\\-}" \
    || fail "vorn-publish.1 does not describe $option"
done
zcat "$root/usr/share/man/man1/vorn-update.1.gz" | grep -q -- '\\-\\-game\\-dir' \
  || fail "vorn-update.1 does not describe --game-dir"
[ -f "$root/usr/share/man/man1/vorn-launcher.1.gz" ] || fail "no page for vorn-launcher"

# The unpacked tools at work.
"$update" --help | grep -q -- '--game-dir' || fail "vorn-update --help"
"$publish" keygen --out "$work/keys" --bits 2048 >/dev/null || fail "vorn-publish keygen"
[ -s "$work/keys/release-private.pem" ] && [ -s "$work/keys/public-key.blob" ] || fail "keygen wrote no keys"
src="$work/source"
mkdir -p "$src/bin" "$src/data"
printf '#!/bin/sh\n' > "$src/bin/vorn.exe"; chmod +x "$src/bin/vorn.exe"
head -c $((3 * 1024 * 1024)) /dev/urandom > "$src/data/world.pak"
"$publish" release --source "$src" --repo "$work/repo" --key "$work/keys/release-private.pem" \
  --release-id r1 --profile 'legacy:Ostravel:bin/vorn.exe' >/dev/null || fail "vorn-publish release"
"$publish" verify --repo "$work/repo" --key "$work/keys/public-key.blob" >/dev/null || fail "vorn-publish verify"
port=$("$scripts/free-port")
"$scripts/nginx-serve" start "$work/repo" "$port" "$work/nginx"
printf '{"updateBaseUrls": ["http://127.0.0.1:%s/"]}\n' "$port" > "$work/launcher.json"
"$update" --config "$work/launcher.json" --key "$work/keys/public-key.blob" --game-dir "$work/Ostravel" \
  --cache-dir "$work/cache" --ignore-running-game >"$work/update.log" 2>&1 \
  || { cat "$work/update.log" >&2; fail "vorn-update could not install r1"; }
same_files "$src" "$work/Ostravel" || fail "the installed game differs from r1"
[ "$("$update" --config "$work/launcher.json" --key "$work/keys/public-key.blob" --game-dir "$work/Ostravel" --check)" \
  = "r1 r1 http://127.0.0.1:$port/" ] || fail "vorn-update --check does not see r1 installed"
echo "Debian packages: built, lintian clean, tools run from the unpacked packages and install r1; 1 passed, 0 failed"
