#!/usr/bin/env bash
# End to end: the real arkel.exe in a 240x320 Wine virtual desktop, driven by taps and key presses,
# checked by the pixels of its screenshots and by what it stored.
#
# Run 1, five objects: a tap on a row and the arrow keys move the selection's highlight while the
# list area keeps the list background; the filter "Arbeit" is chosen; Delete answered with Enter
# keeps the object (the question defaults to No), Delete answered with J deletes it; the About box
# opens and closes over the list; Ctrl+Q ends the program. The store then lacks exactly "Laptop"
# and the filter is remembered.
# Run 2, 100 objects: Page Down pages through the list, which stays on screen; Delete and J then
# delete the object that the paging reached.
#   browse.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?browse.sh needs a display}"
e2e_begin browse
mkdir -p "$art"
# On a failure the program still runs: it is a child of the explorer process this script started.
before_cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do kill "$child" 2>/dev/null || true; done
  fi
}
# Wine's own processes (server, desktop) outlive the calls that start them: none of them may
# inherit this script's output, or CTest would wait for them.
winpath() { winepath -w "$1" </dev/null 2>/dev/null; }

key() { xdotool key --delay 80 "$@"; sleep 0.6; }

# Where the object list lies in the 240x320 desktop, inside its border, and the pixel column the
# checks read: right of every row's text, left of the scroll bar.
LIST_TOP=140
LIST_BOTTOM=309
PROBE_X=200
FIRST_ROW_Y=146
LIST_BACK=FFFF80  # the default list background, "BackColorListe" 0x0080FFFF

# The probe column of a screenshot, one RRGGBB colour per pixel row of the list area.
column() {
  convert "$1" -crop "1x$((LIST_BOTTOM - LIST_TOP))+$PROBE_X+$LIST_TOP" +repage -depth 8 txt:- |
    awk 'NR > 1 { print toupper(substr($3, 2, 6)) }'
}

# Takes a screenshot and checks that the list area shows the list: the list background everywhere
# but in one band, the selected row's highlight. Sets BAND_TOP and BAND_HEIGHT.
check_list() {
  local name=$1 shot="$art/$1.png" back total bands top height
  import -window "$desk" "$shot"
  read -r back total bands top height < <(column "$shot" | awk -v B="$LIST_BACK" '
    { total++
      if ($1 == B) { back++; inband = 0 }
      else { if (!inband) { bands++; inband = 1; if (bands == 1) top = NR - 1 }
             if (bands == 1) height++ } }
    END { printf "%d %d %d %d %d\n", back, total, bands, top, height }')
  ((total > 0)) || fail "$name: no pixels read from $shot"
  # The highlighted band is one row; more than that of another colour is a covered list.
  ((back * 100 >= (total - (height < 40 ? height : 40)) * 95)) ||
    fail "$name: the list area is painted over ($back of $total pixels show the list background; $shot)"
  ((bands == 1 && height >= 8 && height <= 40)) ||
    fail "$name: no single highlighted row in the list ($bands bands, first $height pixels high; $shot)"
  BAND_TOP=$((LIST_TOP + top))
  BAND_HEIGHT=$height
  echo "browse: $name: list shown, selected row at y $BAND_TOP ($BAND_HEIGHT pixels)"
}

# The highlight moved by `rows` rows since the position saved in $1.
expect_moved() {
  local from=$1 rows=$2 name=$3 want
  want=$((from + rows * BAND_HEIGHT))
  ((BAND_TOP >= want - 2 && BAND_TOP <= want + 2)) ||
    fail "$name: the highlight is at y $BAND_TOP, expected $want ($rows rows from $from)"
}

# Starts the program on a store loaded from a dump file and waits until it shows its list.
start() {
  ARKEL_OBJECT_STORE=$(winpath "$work/$1.cdb")
  export ARKEL_OBJECT_STORE
  wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
  wine "$bin/arkstore.exe" load "$(winpath "$2")" </dev/null >"$work/load.log" 2>&1 ||
    fail "arkstore load: $(cat "$work/load.log")"
  start_arkel ArkelE2E "$work/$1.cdb"
}

# Ends the program with Ctrl+Q and dumps its store to $work/$1.json.
quit_and_dump() {
  quit_arkel
  wine "$bin/arkstore.exe" dump -o "$(winpath "$work/$1.json")" </dev/null >/dev/null 2>&1
}

# ---- Run 1: five objects ----------------------------------------------------------------------
start five "$here/browse.json"
check_list start
start_top=$BAND_TOP
# A tap on the second row selects it and gives the program the keyboard.
xdotool mousemove --window "$desk" 100 $((FIRST_ROW_Y + BAND_HEIGHT)) click 1
sleep 0.6
check_list tap
expect_moved "$start_top" 1 tap
key Up
check_list up
expect_moved "$start_top" 0 up
key Down
check_list down1
expect_moved "$start_top" 1 down1
key Down
check_list down2  # "Laptop"
expect_moved "$start_top" 2 down2

# Filter "Arbeit": open the category combo and pick the entry (" - Alle -", " - Ohne -",
# "Arbeit", "Privat" in that order).
xdotool mousemove --window "$desk" 100 65 click 1
sleep 0.6
key Home Down Down Return
check_list filter
expect_moved "$start_top" 0 filter

# Delete the selected object ("Laptop", the first of "Arbeit"): Enter gives the default, No.
key Delete
import -window "$desk" "$art/question.png"
key Return
check_list kept
# Again, answered with J ("Ja").
key Delete
key j
check_list deleted
expect_moved "$start_top" 0 deleted

# The About box from the menu: Alt+D opens "Datei", E is "Über...". It closes over the list.
key alt+d
key e
import -window "$desk" "$art/about.png"
key Escape
check_list about_closed

quit_and_dump five
dump=$(cat "$work/five.json")
for name in Bankkarte Fahrrad Router Zugangskarte; do
  grep -q "\"$name\"" <<<"$dump" || fail "$name is missing from the store"
done
grep -q '"Laptop"' <<<"$dump" && fail "Laptop was not deleted"
wine reg query 'HKCU\Software\Mobrix\Arkel' /v Kategorie </dev/null >"$work/reg.txt" 2>/dev/null || true
filter=$(tr -d '\r' <"$work/reg.txt" | grep Kategorie || true)
grep -q 'Arbeit' <<<"$filter" || fail "the filter Arbeit was not remembered: $filter"

# ---- Run 2: 100 objects, paged with Page Down -------------------------------------------------
{
  printf '{"databases":[{"name":"Arkel","type":0,"sortOrders":[{"propid":"0x0001001f","flags":2}],"records":['
  for i in $(seq 0 99); do
    [ "$i" -gt 0 ] && printf ','
    printf '{"props":[{"propid":"0x0001001f","type":"LPWSTR","value":"Objekt %03d"},' "$i"
    printf '{"propid":"0x0002001f","type":"LPWSTR","value":"SN-%03d"},{"propid":"0x000a0002","type":"I2","value":1}]}' "$i"
  done
  printf ']}]}\n'
} >"$work/hundred.json"
start hundred "$work/hundred.json"
check_list page0
page_top=$BAND_TOP
xdotool mousemove --window "$desk" 100 "$FIRST_ROW_Y" click 1
sleep 0.6
rows=$(((LIST_BOTTOM - LIST_TOP) / BAND_HEIGHT))  # whole rows the list shows
# The first Page Down moves the selection to the last row of the page, each further one a page
# on, scrolling the list so that the selection stays in its last row.
key Next
check_list page1
last_top=$BAND_TOP
((last_top > page_top + (rows - 3) * BAND_HEIGHT)) ||
  fail "page1: the selection did not go to the end of the page (y $last_top)"
selected=$(((last_top - page_top) / BAND_HEIGHT))
for n in 2 3; do
  key Next
  check_list "page$n"
  expect_moved "$last_top" 0 "page$n"
  selected=$((selected + (last_top - page_top) / BAND_HEIGHT))
done
key Delete
key j
check_list page_deleted
quit_and_dump hundred
gone=$(printf 'Objekt %03d' "$selected")
count=$(grep -o '"Objekt [0-9]*"' "$work/hundred.json" | sort -u | wc -l)
((count == 99)) || fail "after paging and one deletion the store holds $count objects, not 99"
grep -q "\"$gone\"" "$work/hundred.json" && fail "paging reached another object than $gone"
echo "browse: ok"
