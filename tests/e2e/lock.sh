#!/usr/bin/env bash
# End to end: locking the vault under Wine in a 240x320 virtual desktop, driven by key presses.
#  1. A plain store; encryption switched on in the preferences with a password; the third row
#     selected; Ctrl+Shift+L. While the password is asked, the store file, its journal and its
#     shared memory hold none of the objects' texts and every record is encrypted; the password
#     brings the list back with the third row selected.
#  2. "LockOnIdle" on and 15 s of idle time: an open "Neues Objekt" with two typed texts and a
#     password from the generator (Ctrl+G) in field 3 survives the idle lock (none of its texts on
#     disk while locked) and is saved with Enter after the unlock.
#  3. The Wine session ended inside the program's desktop (wineboot -e): the program is gone and
#     every record is encrypted.
#   lock.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?lock.sh needs a display}"
e2e_begin lock
mkdir -p "$art"

desktop=ArkelLock
password='Sperr-Passwort7'
key() { xdotool key --delay 80 "$@"; sleep 0.6; }
type_text() { xdotool type --delay 60 "$1"; sleep 0.3; }
check() { python3 "$here/vault_check.py" "$@"; }
store=$work/store.cdb
dump() { wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/$1")" </dev/null >/dev/null 2>&1; }
setting() {
  wine reg add 'HKCU\Software\Mobrix\Arkel' /v "$1" /t REG_DWORD /d "$2" /f </dev/null >/dev/null 2>&1
}
# The store file and whichever journal files exist now.
store_files() {
  local s
  files=("$store")
  for s in -wal -shm -journal; do [ -e "$store$s" ] && files+=("$store$s"); done
  return 0
}

export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$store")
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
wine "$bin/arkstore.exe" load "$(winepath -w "$here/vault.json")" </dev/null >"$work/load.log" 2>&1 ||
  fail "arkstore load: $(cat "$work/load.log")"


# Waits up to $1 seconds for the lock, then checks that a dump has every record encrypted. The
# lock empties the journal, which the opening pass had filled: the file is watched rather than
# read, since a reader at the moment of the lock would keep the journal from being emptied.
wait_locked() {
  for _ in $(seq $(($1 * 5))); do
    [ -s "$store-wal" ] || break
    sleep 0.2
  done
  [ -s "$store-wal" ] && fail "the store was not locked within $1 s"
  sleep 1
  dump poll.json
  check locked "$work/poll.json" "$here/vault.json" >/dev/null || fail "not encrypted after the lock"
}

# ---- 1. Ctrl+Shift+L ----
start_arkel "$desktop" "$store"
expect_main plain 5
xdotool mousemove --window "$desk" 100 148 click 1
sleep 0.5
key alt+d
key s
key v
expect_dialog preferences
key space   # "Verschlüsselung verwenden", which also switches the automatic quit on
key Return
expect_dialog set-password
type_text "$password"
expect_dialog strength-hint
key Tab
type_text "$password"
key Return
xdotool mousemove --window "$desk" 100 148 click 1
sleep 0.5
key Home Down Down
expect_main selected 5
before=$(value selected "$shown")
[ "$before" -eq 3 ] || fail "the third row is not selected before the lock ($shown)"
key ctrl+shift+l
sleep 1
expect_dialog locked
store_files
check scan "$here/vault.json" "${files[@]}" || fail "plain text on disk while locked"
dump locked1.json
check locked "$work/locked1.json" "$here/vault.json"
type_text "$password"
key Return
sleep 1
expect_main unlocked 5
[ "$(value selected "$shown")" -eq "$before" ] ||
  fail "the unlock selects row $(value selected "$shown") instead of $before ($shown)"
dump unlocked.json
check plain "$work/unlocked.json" "$here/vault.json"
quit_arkel 20

# ---- 2. The idle lock keeps a new object's typed texts ----
setting AutoQuit 15000
setting LockOnIdle 1
start_arkel "$desktop" "$store"
expect_dialog enter-password
type_text "$password"
key Return
sleep 1
expect_main idle-unlocked 5
key ctrl+n
type_text 'Neu im Tresor'
key Tab
type_text 'Nummer-0815-Kiwi'
key Tab
# Ctrl+G in field 3: the generator, whose default password "Übernehmen" (Enter) puts there.
key ctrl+g
expect_dialog generator
key Return
expect_dialog typed
wait_locked 60
cat >"$work/typed.json" <<'EOF'
{"databases":[{"name":"Arkel","records":[{"props":[
 {"propid":"0x0001001f","value":"Neu im Tresor"},{"propid":"0x0002001f","value":"Nummer-0815-Kiwi"}]}]}]}
EOF
sleep 1
store_files
check scan "$here/vault.json" "${files[@]}" || fail "plain text on disk after the idle lock"
check scan "$work/typed.json" "${files[@]}" || fail "the typed texts reached the disk"
expect_dialog idle-locked
type_text "$password"
key Return
sleep 1
expect_dialog reopened
key Return   # OK of "Neues Objekt"
expect_main saved 6
dump saved.json
python3 - "$work/saved.json" <<'EOF' || fail "the typed object was not saved"
import json, sys
recs = next(d for d in json.load(open(sys.argv[1], encoding="utf-8"))["databases"]
            if d["name"] == "Arkel")["records"]
texts = [{p["propid"]: p.get("value") for p in r["props"]} for r in recs]
new = [t for t in texts
       if t.get("0x0001001f") == "Neu im Tresor" and t.get("0x0002001f") == "Nummer-0815-Kiwi"]
assert len(new) == 1, texts
# Field 3 holds the generated password: 16 characters with letters, digits and signs.
made = new[0].get("0x0003001f") or ""
assert len(made) == 16, made
assert any(c.isascii() and c.isalpha() for c in made), made
assert any(c.isdigit() for c in made), made
assert any(c.isascii() and not c.isalnum() for c in made), made
EOF
quit_arkel 20

# ---- 3. The end of the session runs the closing pass ----
setting AutoQuit 0
start_arkel "$desktop" "$store"
expect_dialog enter-password-3
type_text "$password"
key Return
sleep 1
expect_main session 6
dump running.json
python3 - "$work/running.json" <<'EOF' || fail "the store is not open before the end of the session"
import json, sys
recs = next(d for d in json.load(open(sys.argv[1], encoding="utf-8"))["databases"]
            if d["name"] == "Arkel")["records"]
assert not any(p["propid"] == "0x01060041" for r in recs for p in r["props"])
EOF
wine explorer /desktop="$desktop",240x320 wineboot -e </dev/null >/dev/null 2>&1 || true
wait_ended 20 || fail "the end of the session did not end the program"
dump ended.json
check locked "$work/ended.json" "$here/vault.json"
store_files
check scan "$here/vault.json" "${files[@]}" || fail "plain text on disk after the end of the session"
check scan "$work/typed.json" "${files[@]}" || fail "plain text on disk after the end of the session"
echo "lock: ok"
