#!/usr/bin/env bash
# Crash test of the closing pass (make crashtest; not part of make test): the real arkel.exe on a
# store of OBJECTS objects with encryption on is killed with SIGKILL at a random moment after
# Ctrl+Q, ROUNDS times. After every kill the next start with the password must give back every
# object exactly, and the store must pass SQLite's integrity check.
#   crash.sh BIN_DIR [ROUNDS] [OBJECTS] [SEED]
set -euo pipefail
bin=$(cd "$1" && pwd)
rounds=${2:-50}
objects=${3:-2000}
RANDOM=${4:-4711}
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?crash.sh needs a display}"
export WINEDEBUG=-all
work=$(mktemp -d)
pid=""
cleanup() {
  for p in $pid; do kill -0 "$p" 2>/dev/null && kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "crash: $*" >&2; exit 1; }
# CRASH_SHOTS names a folder for screenshots of every round (for looking into a failure).
snap() { [ -z "${CRASH_SHOTS:-}" ] || import -window root "$CRASH_SHOTS/$1.png"; }
key() { xdotool key --delay 60 "$@"; sleep 0.5; }
store=$work/store.cdb
export ARKEL_OBJECT_STORE
ARKEL_OBJECT_STORE=$(winepath -w "$store")
password='Absturz-Probe-7'

python3 - "$objects" >"$work/objects.json" <<'PY'
import json, sys
n = int(sys.argv[1])
recs = []
for i in range(n):
    props = [{"propid": "0x0001001f", "type": "LPWSTR", "value": f"Objekt {i:05d} Größe"},
             {"propid": "0x0002001f", "type": "LPWSTR", "value": f"SN-{i * 7919 % 100000:05d}-Ä"},
             {"propid": "0x0003001f", "type": "LPWSTR", "value": f"Bemerkung {i} " + "x" * (i % 40)},
             {"propid": "0x000a0002", "type": "I2", "value": 0 if i % 17 == 0 else 1}]
    if i % 3:
        props.append({"propid": "0x0004001f", "type": "LPWSTR", "value": f"Kategorie {i % 5}"})
    recs.append({"props": props})
print(json.dumps({"databases": [{"name": "Arkel", "type": 0,
      "sortOrders": [{"propid": "0x0001001f", "flags": 2}], "records": recs}]}))
PY
wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
wine "$bin/arkstore.exe" load "$(winepath -w "$work/objects.json")" </dev/null >/dev/null 2>&1 ||
  fail "arkstore load"
wine reg add 'HKCU\Software\Mobrix\Arkel' /v Encrypt /t REG_DWORD /d 1 /f </dev/null >/dev/null 2>&1

dump() { wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/dump.json")" </dev/null >/dev/null 2>&1; }
# "encrypted N" or "plain": the state of the object records in the last dump.
state() {
  python3 - "$work/dump.json" "$work/objects.json" <<'PY'
import json, sys
def recs(p):
    return next(d for d in json.load(open(p, encoding="utf-8"))["databases"] if d["name"] == "Arkel")["records"]
have, want = recs(sys.argv[1]), recs(sys.argv[2])
locked = sum(1 for r in have if any(p["propid"] == "0x01060041" for p in r["props"]))
key = lambda props: sorted((p["propid"], json.dumps(p["value"])) for p in props)
same = sorted(key(r["props"]) for r in have) == sorted(key(r["props"]) for r in want)
print("plain" if same and locked == 0 else f"encrypted {locked} of {len(have)}")
PY
}

# Whether the program still runs: an ended child that was not yet waited for (a zombie) does not.
alive() { [ -e "/proc/$pid" ] && [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ]; }

# Waits until the program has come to rest (start-up fills its list after the decryption):
# its processor time stops growing.
wait_idle() {
  local a b
  for _ in $(seq 120); do
    a=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo 0)
    sleep 1
    b=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo 0)
    [ $((b - a)) -lt 5 ] && return 0
  done
  fail "the program does not come to rest"
}

start() {
  # Started directly, the program is this script's child: its id is the one SIGKILL goes to. It
  # runs in the test prefix's default virtual desktop.
  wine "$bin/arkel.exe" </dev/null >/dev/null 2>&1 &
  pid=$!
  desk=""
  # A machine under load may take a while to bring the desktop up: up to a minute.
  for _ in $(seq 300); do
    desk=$(xdotool search --name 'Default - Wine desktop' 2>/dev/null | head -n1 || true)
    [ -n "$desk" ] && break
    alive || fail "the program ended before its virtual desktop appeared"
    sleep 0.2
  done
  [ -n "$desk" ] || fail "no virtual desktop"
  for _ in $(seq 150); do
    [ -e "$store-shm" ] && break
    alive || fail "the program ended during start-up"
    sleep 0.2
  done
  sleep 2
  xdotool windowfocus "$desk" 2>/dev/null || true
}

# The objects whose flag asks for encryption: while fewer of them are encrypted (a kill during
# the closing pass), the start says so once after the password.
flagged=$(python3 -c 'import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))["databases"][0]["records"]
print(sum(1 for r in d if all(p["propid"] != "0x000a0002" or p["value"] for p in r["props"])))' \
  "$work/objects.json")

# Gives the password once the program waits for it; a store with nothing encrypted asks for a new
# one after its message; a store left partly plain gets its notice answered.
unlock() {
  wait_idle
  xdotool type --delay 40 "$password"
  xdotool key Return
  if [ "$1" = 0 ]; then
    sleep 0.5
    wait_idle
    key Return   # "Es waren keine verschlüsselten Daten vorhanden ..."
    wait_idle
    xdotool type --delay 40 "$password"
    key Tab
    xdotool type --delay 40 "$password"
    key Return
  fi
  if [ "$1" -lt "$flagged" ]; then
    sleep 0.5
    wait_idle
    key Return   # "Beim letzten Beenden wurden die Daten nicht verschlüsselt ..."
  fi
}

# Waits until the running program has decrypted the whole store, and checks every object.
expect_recovered() {
  for _ in $(seq 60); do
    dump
    [ "$(state)" = plain ] && return 0
    alive || fail "round $1: the program ended"
    sleep 3
  done
  fail "round $1: not recovered: $(state)"
}

finish() {
  wait "$pid" 2>/dev/null || true
  pid=""
}

# Calibration: the first start sets the password; a full close measures the closing pass.
start
unlock 0
expect_recovered 0
wait_idle
t0=$(date +%s.%N)
xdotool key ctrl+q
for _ in $(seq 1200); do alive || break; sleep 0.05; done
close=$(echo "$(date +%s.%N) - $t0" | bc)
finish
dump
echo "crash: full close of $objects objects took ${close}s: $(state)"

killed=0 finished=0
declare -a at
for round in $(seq "$rounds"); do
  dump
  locked=$(state | sed -n 's/encrypted \([0-9]*\) .*/\1/p')
  start
  unlock "${locked:-0}"
  snap "$round-unlocked"
  expect_recovered "$round"
  wait_idle
  snap "$round-idle"
  # The pass is a small part of the close (most of it is Wine ending the process; 2,000 objects
  # are encrypted within half a second): the delays crowd towards the start, the square of an
  # even draw, so that many kills land before and inside the pass. (The cube put three kills in
  # four before the pass.)
  u=$RANDOM
  delay=$(echo "scale=3; $close * $u * $u / 32768 / 32768" | bc)
  xdotool key ctrl+q
  sleep "$delay"
  # The program may end between the test and the kill.
  if alive && kill -9 "$pid" 2>/dev/null; then
    killed=$((killed + 1))
  else
    finished=$((finished + 1))
  fi
  finish
  wine "$bin/arkstore.exe" check </dev/null >/dev/null 2>&1 || fail "round $round: arkstore check"
  dump
  s=$(state)
  at+=("$(sed -n 's/encrypted \([0-9]*\) .*/\1/p' <<<"$s")")
  echo "crash: round $round: killed ${delay}s after Ctrl+Q: $s"
done
# The last kill is recovered as well.
dump
locked=$(state | sed -n 's/encrypted \([0-9]*\) .*/\1/p')
start
unlock "${locked:-0}"
expect_recovered final
key ctrl+q
for _ in $(seq 1200); do alive || break; sleep 0.05; done
finish
echo "crash: $rounds rounds, $killed killed during the close, $finished finished before the kill;" \
  "records encrypted at the kills: ${at[*]}; every start recovered all $objects objects"
