#!/usr/bin/env bash
# End to end: the vault under Wine in a 240x320 virtual desktop, driven by key presses.
#  1. A plain store; encryption switched on in the preferences with a new password; quit: the
#     store is encrypted.
#  2. Start: the password dialog; type the password; browse; change the password with
#     "Passwort..."; quit. The store's raw bytes (file, journal, shared memory) hold none of the
#     objects' texts, in UTF-16 or ANSI.
#  3. Start with the new password: every object is back exactly; quit: encrypted again.
#   vault.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?vault.sh needs a display}"
e2e_begin vault
mkdir -p "$art"

key() { xdotool key --delay 80 "$@"; sleep 0.6; }
type_text() { xdotool type --delay 60 "$1"; sleep 0.3; }
check() { python3 "$here/vault_check.py" "$@"; }
store=$work/store.cdb
dump() { wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/$1")" </dev/null >/dev/null 2>&1; }

export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$store")
# Wine's own processes (server, desktop) outlive the calls that start them: none of them may
# inherit this script's output, or CTest would wait for them.
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
wine "$bin/arkstore.exe" load "$(winepath -w "$here/vault.json")" </dev/null >"$work/load.log" 2>&1 ||
  fail "arkstore load: $(cat "$work/load.log")"

start() {
  start_arkel ArkelVault "$store"
}

quit() {
  quit_arkel 20
}

# The main window with its list and no dialog over it (given a moment to repaint).

# ---- 1. Encryption switched on in the preferences ----
start
expect_main plain 5
xdotool mousemove --window "$desk" 100 148 click 1
sleep 0.5
key alt+d
key s
key v
expect_dialog preferences
key space   # "Verschlüsselung verwenden"
key Return
expect_dialog set-password
type_text 'Erstes-Passwort1'
key Tab
type_text 'Erstes-Passwort1'
key Return
quit
dump locked1.json
check locked "$work/locked1.json" "$here/vault.json"

# ---- 2. The password at start, browsing, a new password ----
start
expect_dialog enter-password
type_text 'Erstes-Passwort1'
key Return
sleep 1
expect_main unlocked 5
xdotool mousemove --window "$desk" 100 148 click 1
sleep 0.5
key Down Down
dump running.json
check plain "$work/running.json" "$here/vault.json"
key alt+d
key s
key p
expect_dialog change-password
type_text 'Erstes-Passwort1'
key Tab
type_text 'Zweites-Passwort2'
key Tab
type_text 'Zweites-Passwort2'
key Return
# The dialog is gone and the list under it is drawn again, every row.
expect_main changed 5
quit
files=("$store")
for s in -wal -shm -journal; do [ -e "$store$s" ] && files+=("$store$s"); done
check scan "$here/vault.json" "${files[@]}"
dump locked2.json
check locked "$work/locked2.json" "$here/vault.json"
wine "$bin/arkstore.exe" check </dev/null >/dev/null 2>&1 || fail "arkstore check"

# ---- 3. The new password opens the store ----
start
expect_dialog enter-password-2
type_text 'Zweites-Passwort2'
key Return
sleep 1
expect_main reopened 5
dump reopened.json
check plain "$work/reopened.json" "$here/vault.json"
quit
dump locked3.json
check locked "$work/locked3.json" "$here/vault.json"
echo "vault: ok"
