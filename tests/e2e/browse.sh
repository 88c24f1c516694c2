#!/usr/bin/env bash
# End to end: the real arkel.exe in a 240x320 Wine virtual desktop, driven by key presses.
# Start on a prepared store, browse, change the filter, delete with confirmation, look at the
# About box, quit with Ctrl+Q; then check what the program stored. Screenshots are kept in the
# artifacts folder.
#   browse.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
art=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?browse.sh needs a display}"
export WINEDEBUG=-all
mkdir -p "$art"
work=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "browse: $*" >&2; exit 1; }
shot() { import -window "$desk" "$art/$1.png"; echo "screenshot $art/$1.png"; }
key() { xdotool key --delay 80 "$@"; sleep 0.6; }

export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$work/store.cdb")
# Wine's own processes (server, desktop) outlive the calls that start them: none of them may
# inherit this script's output, or CTest would wait for them.
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
wine "$bin/arkstore.exe" load "$(winepath -w "$here/browse.json")" </dev/null >"$work/load.log" 2>&1 ||
  fail "arkstore load: $(cat "$work/load.log")"

wine explorer /desktop=ArkelE2E,240x320 "$(winepath -w "$bin/arkel.exe")" </dev/null >/dev/null 2>&1 &
pid=$!
desk=""
for _ in $(seq 100); do
  desk=$(xdotool search --name 'ArkelE2E' 2>/dev/null | head -n1 || true)
  [ -n "$desk" ] && break
  sleep 0.2
done
[ -n "$desk" ] || fail "the virtual desktop did not appear"
xdotool windowfocus --sync "$desk" 2>/dev/null || xdotool windowfocus "$desk"
# The program has opened its store once the store's shared-memory file exists (SQLite removes
# it when the last connection closes, as arkstore's did); then it fills its list.
for _ in $(seq 150); do
  [ -e "$work/store.cdb-shm" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended during start-up"
  sleep 0.2
done
[ -e "$work/store.cdb-shm" ] || fail "the program did not open its store"
sleep 2
# A tap on the first row (already selected) gives the program the keyboard.
xdotool mousemove --window "$desk" 100 148 click 1
sleep 0.5

# Browse: the first object is selected at start; two rows down is "Laptop".
key Down Down
shot main

# Filter "Arbeit": open the category combo and pick the entry (" - Alle -", " - Ohne -",
# "Arbeit", "Privat" in that order).
xdotool mousemove --window "$desk" 100 65 click 1
sleep 0.6
key Home Down Down Return
shot filter

# Delete the selected object ("Laptop", the first of "Arbeit") and confirm with Yes (Return).
key Delete
shot question
key Return
shot deleted

# The About box from the menu: Alt+D opens "Datei", E is "Über...".
key alt+d
key e
shot about
key Escape

key ctrl+q
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$pid" 2>/dev/null && fail "Ctrl+Q did not end the program"
wait "$pid" || true
pid=""

# What the program left behind.
wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/dump.json")" </dev/null >/dev/null 2>&1
dump=$(cat "$work/dump.json")
for name in Bankkarte Fahrrad Router Zugangskarte; do
  grep -q "\"$name\"" <<<"$dump" || fail "$name is missing from the store"
done
grep -q '"Laptop"' <<<"$dump" && fail "Laptop was not deleted"
wine reg query 'HKCU\Software\Mobrix\Arkel' /v Kategorie </dev/null >"$work/reg.txt" 2>/dev/null || true
filter=$(tr -d '\r' <"$work/reg.txt" | grep Kategorie || true)
grep -q 'Arbeit' <<<"$filter" || fail "the filter Arbeit was not remembered: $filter"
echo "browse: ok"
