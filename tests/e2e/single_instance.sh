#!/usr/bin/env bash
# End to end: one instance at a time. A second arkel.exe started while the first runs ends at
# once with exit code 0 and opens no store (its ARKEL_OBJECT_STORE names a file that must not
# appear); the first one keeps running and then ends normally.
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
echo "single_instance: ok"
