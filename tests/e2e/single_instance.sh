#!/usr/bin/env bash
# End to end: one instance at a time. A second arkel.exe started while the first runs ends at
# once with exit code 0 and opens no store (its ARKEL_OBJECT_STORE names a file that must not
# appear); the first one keeps running and then ends normally. A second start while the first has
# a modal dialog open leaves that dialog in front, where it takes the keys.
#   single_instance.sh BIN_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?single_instance.sh needs a display}"
e2e_begin single_instance

wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
# Wine's own processes outlive the calls that start them: none may inherit this script's output.
ARKEL_OBJECT_STORE=$(winepath -w "$work/first.cdb") \
  wine "$bin/arkel.exe" </dev/null >/dev/null 2>&1 &
pid=$!
# The first instance has reached its store once the file exists; give it a moment to go idle.
for _ in $(seq 150); do
  [ -e "$work/first.cdb" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the first instance ended during start-up"
  sleep 0.2
done
[ -e "$work/first.cdb" ] || fail "the first instance did not open its store"
sleep 2

set +e
ARKEL_OBJECT_STORE=$(winepath -w "$work/second.cdb") timeout 60 \
  wine "$bin/arkel.exe" </dev/null >/dev/null 2>&1
rc=$?
set -e
[ "$rc" -eq 0 ] || fail "the second instance ended with $rc, not 0"
[ ! -e "$work/second.cdb" ] || fail "the second instance opened a store"
kill -0 "$pid" 2>/dev/null || fail "the first instance did not survive the second start"

# The first instance ends the way a user closes it (WM_CLOSE).
wine taskkill /im arkel.exe </dev/null >/dev/null 2>&1 || true
for _ in $(seq 75); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "the first instance did not end on WM_CLOSE"
wait "$pid" || fail "the first instance ended with an error"
pid=""

# A second start while the first has a modal dialog open ("Neues Objekt"), both in one 240x320
# desktop as the launcher starts them: the dialog stays in front, not the main window disabled
# under it, so the keys typed afterwards fill the dialog and its OK writes the object.
export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$work/modal.cdb")
start_arkel ArkelSecond "$work/modal.cdb"
key() { xdotool key --delay 80 "$@"; sleep 0.6; }
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5
key ctrl+n
sleep 1
wine explorer /desktop=ArkelSecond,240x320 "$(winepath -w "$bin/arkel.exe" </dev/null 2>/dev/null)" \
  </dev/null >/dev/null 2>&1 &
second=$!
for _ in $(seq 150); do kill -0 "$second" 2>/dev/null || break; sleep 0.2; done
kill -0 "$second" 2>/dev/null && { kill "$second"; fail "the second start did not end"; }
sleep 1
xdotool type --delay 60 "Zweiter Start"
key Tab
xdotool type --delay 60 "SN-2"
key Return
sleep 1
quit_arkel
wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/dump.json")" </dev/null >/dev/null 2>&1 ||
  fail "arkstore dump failed"
grep -q '"Zweiter Start"' "$work/dump.json" || fail "the keys after the second start did not reach the dialog"
grep -q '"SN-2"' "$work/dump.json" || fail "field 2 typed after the second start is not stored"
echo "single_instance: ok"
