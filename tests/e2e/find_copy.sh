#!/usr/bin/env bash
# End to end: find an object and copy its field 2, by keys, in the handheld's 240x320 shape and
# in a larger desktop, on a store of 2,000 objects.
#
# Ctrl+F and a part of one object's field 3 typed in small letters leave that object alone in
# the list (no row below the first in the screenshot) and selected (Ctrl+1 copies its field 1);
# Ctrl+2 puts exactly its field 2 on the X clipboard, which is empty again after the clear time
# (5 seconds here); a text another program copied meanwhile stays; Esc brings the whole list
# back. The store holds the 2,000 objects unchanged afterwards.
#   find_copy.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
: "${WINEPREFIX:?}" "${DISPLAY:?find_copy.sh needs a display}"
e2e_begin find_copy
mkdir -p "$art"
command -v xclip >/dev/null || fail "xclip is missing (scripts/deps.sh installs it)"
other=""  # the xclip that plays another program owning the clipboard
before_cleanup() {
  if [ -n "$other" ]; then kill "$other" 2>/dev/null || true; fi
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do kill "$child" 2>/dev/null || true; done
  fi
}
winpath() { winepath -w "$1" </dev/null 2>/dev/null; }
key() { xdotool key --delay 80 "$@"; sleep 0.8; }
LIST_BACK=FFFF80  # the default list background, "BackColorListe" 0x0080FFFF

# The X clipboard's text; empty when it holds none.
clip() { timeout 5 xclip -o -selection clipboard 2>/dev/null </dev/null || true; }

# Waits up to $2 seconds until the clipboard reads $1.
wait_clip() {
  for _ in $(seq $(($2 * 4))); do
    [ "$(clip)" = "$1" ] && return 0
    sleep 0.25
  done
  return 1
}

# Pixels of row text in the lower third of the list area: columns 4 to 120, from 65 % of the
# height down to 12 pixels above the bottom, not of the list background. 0 when the list has no
# row there.
text_below() {
  local shot=$1 w=$2 h=$3 top bottom
  top=$((h * 65 / 100))
  bottom=$((h - 12))
  convert "$shot" -crop "116x$((bottom - top))+4+$top" +repage -depth 8 txt:- |
    awk -v B="$LIST_BACK" 'NR > 1 && toupper(substr($3, 2, 6)) != B { n++ } END { print n + 0 }'
}

# 2,000 objects: "Objekt 0000" ..., field 2 "SN-0000-GEHEIM", field 3 "Notiz Nummer 0000 Ablage".
{
  printf '{"databases":[{"name":"Arkel","type":0,"sortOrders":[{"propid":"0x0001001f","flags":2}],"records":['
  for i in $(seq 0 1999); do
    [ "$i" -gt 0 ] && printf ','
    printf '{"props":[{"propid":"0x0001001f","type":"LPWSTR","value":"Objekt %04d"},' "$i"
    printf '{"propid":"0x0002001f","type":"LPWSTR","value":"SN-%04d-GEHEIM"},' "$i"
    printf '{"propid":"0x0003001f","type":"LPWSTR","value":"Notiz Nummer %04d Ablage"},' "$i"
    printf '{"propid":"0x000a0002","type":"I2","value":0}]}'
  done
  printf ']}]}\n'
} >"$work/objects.json"

run_shape() {
  local size=$1 w h shot below
  w=${size%x*}
  h=${size#*x}
  ARKEL_OBJECT_STORE=$(winpath "$work/$size.cdb")
  export ARKEL_OBJECT_STORE
  wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Mobrix\Arkel' /v ClipboardClear /t REG_DWORD /d 5 /f \
    </dev/null >/dev/null 2>&1 || fail "$size: the clear time could not be set"
  # On the larger screen the window is an ordinary one: maximized, so that the list lies where
  # the handheld's does, across the screen's lower part.
  local v
  for v in WindowLeft=0 WindowTop=0 WindowWidth=$w WindowHeight=$h WindowMaximized=1; do
    wine reg add 'HKCU\Software\Mobrix\Arkel' /v "${v%=*}" /t REG_DWORD /d "${v#*=}" /f \
      </dev/null >/dev/null 2>&1 || fail "$size: the window's place could not be set"
  done
  wine "$bin/arkstore.exe" load "$(winpath "$work/objects.json")" </dev/null >"$work/load.log" 2>&1 ||
    fail "arkstore load: $(cat "$work/load.log")"
  start_arkel "ArkelFind$size" "$work/$size.cdb" "$size"

  shot="$art/find_copy_${size}_all.png"
  import -window "$desk" "$shot"
  below=$(text_below "$shot" "$w" "$h")
  ((below > 50)) || fail "$size: the whole list shows no rows in its lower part ($below pixels; $shot)"

  key ctrl+f
  xdotool type --delay 120 "1234 abl"
  sleep 1.5
  shot="$art/find_copy_${size}_found.png"
  import -window "$desk" "$shot"
  below=$(text_below "$shot" "$w" "$h")
  ((below == 0)) || fail "$size: more than one row after the search ($below text pixels below; $shot)"

  # The found object is the selected one: its field 1, and exactly its field 2.
  key ctrl+1
  wait_clip "Objekt 1234" 5 || fail "$size: Ctrl+1 gave \"$(clip)\", not the found object's field 1"
  key ctrl+2
  wait_clip "SN-1234-GEHEIM" 5 || fail "$size: Ctrl+2 gave \"$(clip)\", not field 2"
  targets=$(timeout 5 xclip -o -selection clipboard -t TARGETS 2>/dev/null </dev/null || true)
  grep -q x-kde-passwordManagerHint <<<"$targets" ||
    fail "$size: the copy is not marked for clipboard managers (targets: $(tr '\n' ' ' <<<"$targets"))"
  # The clear time passes: the program's text goes.
  wait_clip "" 20 || fail "$size: the clipboard still holds \"$(clip)\" after the clear time"

  # Copied again, then another program copies: its text stays after the clear time.
  key ctrl+2
  wait_clip "SN-1234-GEHEIM" 5 || fail "$size: the second Ctrl+2 gave \"$(clip)\""
  printf 'von nebenan' | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
  other=$!
  wait_clip "von nebenan" 5 || fail "$size: the other program's text did not reach the clipboard"
  sleep 8
  [ "$(clip)" = "von nebenan" ] || fail "$size: the other program's text was taken away: \"$(clip)\""
  kill "$other" 2>/dev/null || true
  wait "$other" 2>/dev/null || true
  other=""

  # Esc: the whole list again.
  key Escape
  sleep 1
  shot="$art/find_copy_${size}_back.png"
  import -window "$desk" "$shot"
  below=$(text_below "$shot" "$w" "$h")
  ((below > 50)) || fail "$size: Esc did not bring the whole list back ($below pixels; $shot)"

  quit_arkel
  wine "$bin/arkstore.exe" dump -o "$(winpath "$work/$size.json")" </dev/null >/dev/null 2>&1
  count=$(grep -o '"Objekt [0-9]*"' "$work/$size.json" | sort -u | wc -l)
  ((count == 2000)) || fail "$size: the store holds $count objects afterwards, not 2000"
  grep -q '"SN-1234-GEHEIM"' "$work/$size.json" || fail "$size: field 2 of the object changed"
  echo "find_copy: $size ok"
}

run_shape 240x320
run_shape 800x600
echo "find_copy: ok"
