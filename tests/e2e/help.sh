#!/usr/bin/env bash
# End to end: the help of the real arkel.exe in a 240x320 Wine virtual desktop. F1 in the main
# window opens PegHelp at the overview; Tab and Enter follow its first link; Backspace returns;
# Esc closes the viewer and Ctrl+Q the program. Each step is checked by the viewer's title and
# by the screenshot's pixels: text drawn in the viewer's text area inside the screen, a different
# page after the link, the place left (scrolled to the link chosen with Tab) again after Back. Screenshots stay in the artifacts folder.
#   help.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
: "${WINEPREFIX:?}" "${DISPLAY:?help.sh needs a display}"
e2e_begin help
mkdir -p "$art"
before_cleanup() {
  # After a failure the program and the viewer it started may still run: their windows name the
  # processes, which are this test's.
  for name in '^Hilfe' '^The Arkel$'; do
    for w in $(xdotool search --name "$name" 2>/dev/null || true); do
      p=$(xdotool getwindowpid "$w" 2>/dev/null || true)
      [ -n "$p" ] && kill "$p" 2>/dev/null || true
    done
  done
}

shot() { import -window "$desk" "$art/$1.png"; echo "screenshot $art/$1.png"; }
key() { xdotool key --delay 80 "$@"; sleep 0.4; }
# Waits until a window with exactly this title exists (the viewer's title names its page).
title() {
  for _ in $(seq 75); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  fail "no window titled '$1'"
}
# Share of dark pixels (text) in the viewer's text area: below its buttons, left of its scroll
# bar, inside the 240x320 screen.
ink() { convert "$art/$1.png" -crop 218x270+4+46 +repage -colorspace gray -threshold 50% -negate \
  -format '%[fx:mean]' info:; }
between() { awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(v >= lo && v <= hi) }'; }

export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$work/store.cdb" 2>/dev/null)
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true

start_arkel ArkelHelp "$work/store.cdb"
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5

key F1
title 'Hilfe: The Arkel'
sleep 1
shot help_main
key Tab
shot help_tab
key Return
title 'Hilfe: Neues Objekt'
sleep 1
shot help_link
key BackSpace
title 'Hilfe: The Arkel'
sleep 1
shot help_back

main=$(ink help_main) link=$(ink help_link)
echo "help: text pixels overview $main, linked page $link"
between "$main" 0.03 0.5 || fail "the overview shows no text in the screen ($main)"
between "$link" 0.03 0.5 || fail "the linked page shows no text in the screen ($link)"
changed=$(compare -metric AE -fuzz 20% "$art/help_main.png" "$art/help_link.png" null: 2>&1 || true)
back=$(compare -metric AE -fuzz 20% "$art/help_tab.png" "$art/help_back.png" null: 2>&1 || true)
echo "help: pixels changed by the link $changed, by the link and Back $back"
between "$changed" 2000 1000000 || fail "the link did not change the page ($changed pixels)"
between "$back" 0 60 || fail "Back did not return to the place left ($back pixels)"

key Escape
for _ in $(seq 50); do
  xdotool search --name '^Hilfe: ' >/dev/null 2>&1 || break
  sleep 0.2
done
xdotool search --name '^Hilfe: ' >/dev/null 2>&1 && fail "Esc did not close the viewer"
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5
quit_arkel
echo "help: ok"
