#!/usr/bin/env bash
# End to end over real HTTPS: vorn-publish makes two releases, nginx serves them with a
# certificate from a CA made here, vorn-update installs r1 into an empty folder and then r2.
#   https_update.sh VORN_PUBLISH VORN_UPDATE SCRIPTS_DIR
set -euo pipefail
publish=$1; update=$2; scripts=$3
work=$(mktemp -d /tmp/vorn-e2e.XXXXXX)
cleanup() { "$scripts/nginx-serve" stop "$work/nginx" || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Same regular files with the same bytes (folders left empty by a removal do not count).
same_files() { python3 "$(dirname "${BASH_SOURCE[0]}")/same-files" "$1" "$2"; }
# A stand-in client of another test run on the machine must not hold these updates.
export VORN_TEST_GAME_PROCESS="vorn$$.exe"

"$scripts/make-test-ca" "$work/ca"
"$publish" keygen --out "$work/keys" --bits 2048 >/dev/null

src="$work/source"
mkdir -p "$src/bin" "$src/data" "$src/config" "$src/old"
head -c $((20 * 1024 * 1024)) /dev/urandom > "$src/data/big.pak"
head -c $((3 * 1024 * 1024)) /dev/urandom > "$src/data/rename-me.bin"
seq 1 100000 > "$src/data/table.txt"
printf 'MZ stand-in\n' > "$src/bin/vorn.exe"
printf 'volume=5\n' > "$src/config/user.cfg"
printf 'obsolete\n' > "$src/old/obsolete.txt"
: > "$src/data/empty.bin"

repo="$work/repo"
"$publish" release --source "$src" --repo "$repo" --key "$work/keys/release-private.pem" \
  --release-id r1 --preserve 'config/user.cfg' --profile 'legacy:Legacy:bin/vorn.exe' >/dev/null

port=$("$scripts/free-port")
"$scripts/nginx-serve" start "$repo" "$port" "$work/nginx" "$work/ca/server.pem" "$work/ca/server.key"
mkdir -p "$work/launcher"
printf '{"updateBaseUrls": ["https://127.0.0.1:%s/"]}\n' "$port" > "$work/launcher/launcher.json"
export VORN_CA_BUNDLE="$work/ca/ca.pem"
args=(--config "$work/launcher/launcher.json" --key "$work/keys/public-key.blob"
      --game-dir "$work/game" --cache-dir "$work/cache" --ignore-running-game)

line=$("$update" "${args[@]}" --check)
[ "$line" = "r1 none https://127.0.0.1:$port/" ] || fail "check printed '$line'"
# With the main server down the check reports the mirror that answered.
dead=$("$scripts/free-port")
printf '{"updateBaseUrls": ["https://127.0.0.1:%s/", "https://localhost:%s/"]}\n' "$dead" "$port" \
  > "$work/launcher/mirrors.json"
line=$("$update" --config "$work/launcher/mirrors.json" "${args[@]:2}" --check)
[ "$line" = "r1 none https://localhost:$port/" ] || fail "mirror check printed '$line'"

"$update" "${args[@]}" > "$work/install1.log" 2>&1 || { cat "$work/install1.log"; fail "install of r1"; }
same_files "$src" "$work/game" || fail "r1 differs from its source"
[ ! -d "$work/game/.vorn/transactions" ] || [ -z "$(ls -A "$work/game/.vorn/transactions")" ] \
  || fail "a transaction folder was left behind"

# r2: a changed byte, a new file, a removed file, a renamed file and a preserved file that
# the player changed (it must keep the player's text).
printf 'volume=9\n' > "$work/game/config/user.cfg"
printf 'volume=7\n' > "$src/config/user.cfg"
printf '\x5a' | dd of="$src/data/big.pak" bs=1 seek=$((12 * 1024 * 1024)) conv=notrunc status=none
head -c $((2 * 1024 * 1024)) /dev/urandom > "$src/data/new.dat"
rm "$src/old/obsolete.txt"; rmdir "$src/old"
mv "$src/data/rename-me.bin" "$src/data/renamed.bin"
"$publish" release --source "$src" --repo "$repo" --key "$work/keys/release-private.pem" \
  --release-id r2 --preserve 'config/user.cfg' >/dev/null

# Objects the second update may fetch: chunks found in no file that r1 installed and the
# player left alone (the renamed file is copied from its old name).
expected=$(python3 - "$repo/manifests/r1.json" "$repo/manifests/r2.json" <<'PY'
import json, sys
old = {f["path"].lower(): f for f in json.load(open(sys.argv[1]))["files"]}
local = {(c["sha256"], c["size"]) for f in old.values() if f.get("policy") != "preserve"
         for c in f["chunks"]}
need = set()
for f in json.load(open(sys.argv[2]))["files"]:
    prev = old.get(f["path"].lower())
    if f.get("policy") == "preserve" and prev is not None:
        continue
    if prev is not None and prev["sha256"] == f["sha256"]:
        continue
    need |= {c["blobSha256"] for c in f["chunks"] if (c["sha256"], c["size"]) not in local}
total = {c["blobSha256"] for f in json.load(open(sys.argv[2]))["files"] for c in f["chunks"]}
print(len(need), len(total))
PY
)
read -r expected total <<< "$expected"
: > "$work/nginx/access.log"
"$update" "${args[@]}" > "$work/install2.log" 2>&1 || { cat "$work/install2.log"; fail "update to r2"; }
fetched=$(grep -c 'GET /objects/' "$work/nginx/access.log" || true)
[ "$fetched" -eq "$expected" ] || fail "fetched $fetched objects, expected $expected"
# The new file comes whole, the changed byte costs a chunk or two: a fraction of the release.
[ "$expected" -ge 3 ] && [ $((expected * 4)) -le "$total" ] || fail "unexpected object count $expected of $total"

printf 'volume=9\n' | cmp - "$work/game/config/user.cfg" || fail "the player's preserved file was replaced"
printf 'volume=9\n' > "$src/config/user.cfg"
same_files "$src" "$work/game" || fail "r2 differs from its source"
# A check finding the manifest it verified last time asks only for the pointer.
: > "$work/nginx/access.log"
line=$("$update" "${args[@]}" --check)
[ "$line" = "r2 r2 https://127.0.0.1:$port/" ] || fail "check after the update printed '$line'"
! grep -q 'GET /manifests/' "$work/nginx/access.log" || fail "an unchanged manifest was downloaded again"
grep -q 'GET /channels/live.json' "$work/nginx/access.log" || fail "the pointer was not read"
line=$("$update" "${args[@]}")
[ "$line" = "up to date: r2" ] || fail "third run printed '$line'"
# What an install killed right after writing its installed manifest leaves: the committed
# transaction and the state cache's temporary file. Gone before the folder is called up to date.
mkdir -p "$work/game/.vorn/transactions/r2/committed/data"
printf 'old' > "$work/game/.vorn/transactions/r2/committed/data/big.pak"
printf '{}' > "$work/game/.vorn/state.json.Ab12Cd"
line=$("$update" "${args[@]}")
[ "$line" = "up to date: r2" ] || fail "run after a kill printed '$line'"
[ -z "$(ls -A "$work/game/.vorn/transactions")" ] || fail "the committed transaction was left behind"
[ ! -e "$work/game/.vorn/state.json.Ab12Cd" ] || fail "the state cache's temporary file was left behind"
same_files "$src" "$work/game" || fail "the leftovers changed the installed release"
echo "https end to end: r1 installed, r2 fetched $fetched objects; 1 passed, 0 failed"
