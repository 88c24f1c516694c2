#!/usr/bin/env bash
# End to end: the main window of the real arkel.exe from the keyboard alone, in a 240x320 Wine
# virtual desktop. Alt+D drops "Datei" under its button with the first item highlighted, Esc
# takes it away again (the screen as before); F10 and Enter run "Neues Objekt", which writes a new
# object; Enter on a row opens that object; Tab twice from the list reaches the detail area, which
# shows a frame. Checked by the pixels of the screenshots, window titles and the store's dump.
#   keys.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?keys.sh needs a display}"
e2e_begin keys
mkdir -p "$art"
before_cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do kill "$child" 2>/dev/null || true; done
  fi
}
winpath() { winepath -w "$1" </dev/null 2>/dev/null; }
key() { xdotool key --delay 80 "$@"; sleep 0.6; }
shot() { import -window "$desk" "$art/keys-$1.png"; }
title() {
  for _ in $(seq 50); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  fail "no window titled '$1'"
}
# Pixels of a part of two screenshots that differ (W H X Y).
differ() {
  compare -metric AE -crop "$3x$4+$5+$6" "$art/keys-$1.png" "$art/keys-$2.png" null: 2>&1 || true
}
# Pixels of one colour (RRGGBB) in a part of a screenshot (W H X Y).
colour() {
  convert "$art/keys-$1.png" -crop "$3x$4+$5+$6" +repage -depth 8 txt:- |
    awk -v c="$2" 'NR > 1 && toupper(substr($3, 2, 6)) == c { n++ } END { print n + 0 }'
}
# The most frequent colour (RRGGBB) in a part of a screenshot (W H X Y).
dominant() {
  convert "$art/keys-$1.png" -crop "$2x$3+$4+$5" +repage -depth 8 txt:- |
    awk 'NR > 1 { print toupper(substr($3, 2, 6)) }' | sort | uniq -c | sort -rn | awk 'NR == 1 { print $2 }'
}
# The first pixel row of the detail area (its background, dark blue by default) in column 120.
DETAIL_BACK=0000A0
detail_top() {
  convert "$art/keys-$1.png" -crop "1x200+120+0" +repage -depth 8 txt:- |
    awk -v c="$DETAIL_BACK" 'NR > 1 && !found && toupper(substr($3, 2, 6)) == c { print NR - 2; found = 1 }'
}

ARKEL_OBJECT_STORE=$(winpath "$work/store.cdb")
export ARKEL_OBJECT_STORE
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
wine "$bin/arkstore.exe" load "$(winpath "$here/browse.json")" </dev/null >"$work/load.log" 2>&1 ||
  fail "arkstore load: $(cat "$work/load.log")"
start_arkel ArkelKeys "$work/store.cdb"
# A tap on the first row ("Bankkarte") gives the program the keyboard.
xdotool mousemove --window "$desk" 100 146 click 1
sleep 0.6
shot start

# Alt+D: the pop-up lies under the menu bar at the left (110 pixels wide and more than 100
# high), its first item highlighted.
key alt+d
shot menu
changed=$(differ start menu 110 150 0 22)
((changed > 5000)) || fail "Alt+D: no pop-up under Datei ($changed pixels changed)"
# The first item's strip is mostly of one colour (the highlight) that the third item's is not.
first=$(dominant menu 100 12 4 25)
third=$(dominant menu 100 12 4 58)
hl=$(colour menu "$first" 100 12 4 25)
if [ "$first" = "$third" ] || ((hl <= 700)); then
  fail "Alt+D: the first item is not highlighted ($first, $hl pixels; third item $third)"
fi
key Escape
shot closed
left=$(differ start closed 240 320 0 0)
((left < 50)) || fail "Esc: the pop-up did not go ($left pixels differ from before)"

# F10, Enter: "Neues Objekt" as from the menu with the mouse; the object is written.
key F10
key Return
title "Neues Objekt"
xdotool type --delay 60 "Tastatur"
key Tab
xdotool type --delay 60 "T-1"
key Return
sleep 0.5

# Enter on a row opens it: the list has the focus again, Home selects "Bankkarte".
key Home
key Return
title "Objekt bearbeiten"
# Esc in a field leaves the field, a second one closes the dialog (nothing was changed).
key Escape Escape

# Tab twice from the list (the filter, then the detail area): a frame in the detail area.
shot unfocused
key Tab Tab
shot detail
top=$(detail_top detail)
[ -n "$top" ] || fail "no detail area found in the screenshot"
before=$(differ unfocused detail 236 1 2 $((top + 1)))
((before > 60)) || fail "Tab: no frame along the detail area's top edge ($before pixels)"
key Tab
shot list-again
after=$(differ unfocused list-again 236 1 2 $((top + 1)))
((after < 5)) || fail "Tab: the frame stayed after the focus left ($after pixels)"

quit_arkel
wine "$bin/arkstore.exe" dump -o "$(winpath "$work/dump.json")" </dev/null >/dev/null 2>&1
grep -q '"Tastatur"' "$work/dump.json" || fail "the object made from the keyboard is not stored"
grep -q '"T-1"' "$work/dump.json" || fail "field 2 of the new object is not stored"
count=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["databases"][0]["records"]))' "$work/dump.json")
((count == 6)) || fail "the store holds $count objects, not 6"
echo "keys: ok (pop-up $changed pixels, highlight $hl, frame $before pixels)"
