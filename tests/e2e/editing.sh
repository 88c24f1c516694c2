#!/usr/bin/env bash
# End to end: the editing dialogs of the real arkel.exe in a 240x320 Wine virtual desktop, driven by
# the keyboard alone. On an empty store: a new category "Bücher" in the categories dialog, a new
# title "Buchhändler" for field 1 through its " Neu…" entry, chosen for the category; a new object
# with umlauts in that category; editing it (a new title "Auflage" for field 2 through the field's
# picker); deleting the unused title "Seriennummer" in the titles dialog; quitting. Then the five
# databases must hold exactly the expected records, and the screenshots of the three dialogs must
# show each dialog whole inside the screen.
#   editing.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?editing.sh needs a display}"
e2e_begin editing
mkdir -p "$art"

shot() { import -window "$desk" "$art/editing-$1.png"; echo "screenshot $art/editing-$1.png"; }
key() { xdotool key --delay 80 "$@"; sleep 0.6; }
# Text with umlauts, typed key by key.
# xdotool types a character that the keyboard map lacks (ö, ä) by mapping it to a spare key for
# a moment; Wine may read the map only after it was taken back and then drop the character. Such
# characters go one at a time, with time for Wine to see the map.
typetext() {
  local LC_ALL=C.UTF-8 text=$1 i c
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    if [[ $c == [[:print:]] && $(printf '%d' "'$c") -lt 128 ]]; then
      xdotool type --delay 60 "$c"
    else
      xdotool type --delay 250 "$c"; sleep 0.3
    fi
  done
  sleep 0.4
}
# A dialog whole inside the 240x320 screen: its caption bar and its frame are found by pixels.
inside() { python3 "$here/dialog_inside.py" "$art/editing-$1.png" || fail "$1: the dialog is not inside the screen"; }

export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$work/store.cdb")
# Wine's own processes (server, desktop) outlive the calls that start them: none of them may
# inherit this script's output, or CTest would wait for them.
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true

start_arkel ArkelEdit "$work/store.cdb"
# A tap on the empty list gives the program the keyboard.
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5
shot main

# Categories dialog (Ctrl+L): the new name goes into the edit, which has the focus; Enter adds it
# (the default button) with the default titles and the flag 1.
key ctrl+l
typetext "Bücher"
shot categories
key Return
# Tab from the edit: the list, delete, then the title combo of field 1. Home there is " Neu…",
# which opens the titles dialog of field 1; Enter adds "Buchhändler", Escape closes.
key Tab Tab Tab
key Home
typetext "Buchhändler"
shot titles
key Return
key Escape
# Back in the categories dialog the combo shows the category's title "Name" again; Up chooses the
# title before it, "Buchhändler", which is written at once.
key Up
shot categories-done
key Escape

# New object (Ctrl+N): three fields, then the category "Bücher" (Down from " - Ohne -"), whose
# titles and flag the dialog takes; Enter is OK.
key ctrl+n
typetext "Fräulein Else"
key Tab
typetext "ISBN 978-3"
key Tab
typetext "Schön gebunden"
key Tab
key Down
shot edit-new
key Return

# Edit it (Ctrl+O). F4 in field 2 drops its title picker on the field's title; Home and Enter
# choose " Neu…", which opens the titles dialog of field 2: "Auflage" is added there. Back in the
# field, F4, Up (to "Auflage") and Enter choose the new title. Field 3 gets a new text.
key ctrl+o
key Tab
key F4
key Home Return
typetext "Auflage"
key Return
key Escape
key F4
key Up Return
key Tab
typetext "Sehr schön gebunden"
shot edit-modify
key Return

# Titles of field 2 (Alt+B, T, 2): Tab to the list, Down twice selects its last entry,
# "Seriennummer", which no object uses any more; Alt+L deletes it. Escape closes.
key alt+b
key t
key 2
key Tab
key Down Down
key alt+l
shot titles-deleted
key Escape

quit_arkel

wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/dump.json")" </dev/null >/dev/null 2>&1
cp "$work/dump.json" "$art/editing-dump.json"
python3 "$here/editing_expect.py" "$work/dump.json" || fail "the store does not hold what was typed"
for s in categories titles edit-new edit-modify titles-deleted; do inside "$s"; done
echo "editing: ok"
