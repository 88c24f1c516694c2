#!/usr/bin/env bash
# End to end: one writer per store. The program runs in one Wine virtual desktop; a second
# arkel.exe started on the same store in another desktop of the same prefix does not find the
# first window (a window search does not reach across desktops), so the store's claim must refuse
# it: it shows "Die Datenbank wird bereits von einem anderen Programm benutzt ..." and ends
# without changing the store (a dump before and after is the same). The first program keeps
# working: an object it saves afterwards is in the store.
#   two_desktops.sh BIN_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
art=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?two_desktops.sh needs a display}"
e2e_begin two_desktops
mkdir -p "$art"
second=""
# On the way out after a failure: the Wine processes this script started (both desktops and both
# programs, which carry its store in their environment) are stopped by their ids, so that the
# Wine server can end.
started_here() {
  local d e
  [ -n "${ARKEL_OBJECT_STORE:-}" ] || return 0
  for d in /proc/[0-9]*; do
    e=$d/environ
    { tr '\0' '\n' <"$e"; } 2>/dev/null | grep -qxF "ARKEL_OBJECT_STORE=$ARKEL_OBJECT_STORE" ||
      continue
    { tr '\0' ' ' <"$d/cmdline"; } 2>/dev/null | grep -qiE 'arkel\.exe|explorer' && echo "${d#/proc/}"
  done
  return 0
}
before_cleanup() {
  local p
  for p in $(started_here); do kill "$p" 2>/dev/null || true; done
}
# Pixels of Wine's active caption colour: a window with a caption (the message box; the
# program's own windows on the 240x320 screen have none) is shown.
caption_pixels() {
  python3 - "$1" <<'PY'
import subprocess, sys
data = subprocess.run(["convert", sys.argv[1], "ppm:-"], check=True, capture_output=True).stdout
parts = data.split(maxsplit=4)
px = parts[4][: int(parts[1]) * int(parts[2]) * 3]
print(sum(1 for i in range(0, len(px), 3) if px[i:i + 3] == bytes((50, 150, 250))))
PY
}

key() { xdotool key --delay 80 "$@"; sleep 0.6; }
store=$work/store.cdb
dump() { wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/$1")" </dev/null >/dev/null 2>&1; }
export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$store")
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
wine "$bin/arkstore.exe" load "$(winepath -w "$here/vault.json")" </dev/null >"$work/load.log" 2>&1 ||
  fail "arkstore load: $(cat "$work/load.log")"

start_arkel ArkelEins "$store"
first_desk=$desk
dump before.json || fail "arkstore dump failed"

# The second program, in a desktop of its own. Wine's message box traces its text (the msgbox
# debug channel): that is how the script reads what the box says.
WINEDEBUG=trace+msgbox wine explorer /desktop=ArkelZwei,240x320 \
  "$(winepath -w "$bin/arkel.exe" </dev/null 2>/dev/null)" </dev/null >/dev/null 2>"$work/second.log" &
second=$!
desk=""
for _ in $(seq 100); do
  desk=$(xdotool search --name ArkelZwei 2>/dev/null | head -n1 || true)
  [ -n "$desk" ] && break
  sleep 0.2
done
[ -n "$desk" ] || fail "the second desktop did not appear"
# The box: its text in the trace, and a dialog on the second desktop's screen.
for _ in $(seq 150); do
  grep -q 'bereits von einem anderen Programm benutzt' "$work/second.log" && break
  kill -0 "$second" 2>/dev/null || break
  sleep 0.2
done
grep -q 'Die Datenbank wird bereits von einem anderen Programm benutzt' "$work/second.log" ||
  fail "the second program did not say that the store is in use: $(grep -a msgbox "$work/second.log" | head -3)"
sleep 1
p=$(e2e_pixels second-refused)
[ "$(value rows "$p")" -eq 0 ] || fail "the second program lists objects ($p)"
c=$(caption_pixels "$art/$e2e_name-second-refused.png")
[ "$c" -gt 1000 ] || fail "no message box on the second desktop ($c caption pixels)"
# A click on the box's caption gives it the keys; Enter is its OK.
xdotool mousemove --window "$desk" 120 88 click 1
sleep 0.5
key Return
for _ in $(seq 75); do kill -0 "$second" 2>/dev/null || break; sleep 0.2; done
kill -0 "$second" 2>/dev/null && fail "the second program did not end after its message"
second=""
dump after.json || fail "arkstore dump failed"
cmp -s "$work/before.json" "$work/after.json" || fail "the second program changed the store"

# The first program goes on: a new object reaches the store.
desk=$first_desk
xdotool windowfocus "$desk" 2>/dev/null || true
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5
p=$(e2e_pixels first-after)
[ "$(value list "$p")" -gt 60 ] || fail "the first program's list is gone ($p)"
key ctrl+n
sleep 1
xdotool type --delay 60 "Nach dem Zweiten"
key Tab
xdotool type --delay 60 "SN-Eins"
key Return
sleep 1
quit_arkel
dump final.json || fail "arkstore dump failed"
grep -q '"Nach dem Zweiten"' "$work/final.json" || fail "the first program's new object is not stored"
grep -q '"SN-Eins"' "$work/final.json" || fail "field 2 of the first program's new object is not stored"
echo "two_desktops: ok"
