#!/usr/bin/env bash
# End to end: the store is readable by its user only, whatever the umask. Under umask 022,
#  - arkstore load makes a new volume 0600;
#  - the program started on it keeps the volume, its journal (-wal) and its shared memory (-shm)
#    at 0600 while it runs;
#  - a volume that an earlier build left at 0644 is 0600 again, with its journal, once the
#    program has opened it;
#  - a read-only store, a FIFO, a device node and the name CON are refused by arkstore and left
#    exactly as they were, with no journal made beside them.
#   private_files.sh BIN_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
: "${WINEPREFIX:?}" "${DISPLAY:?private_files.sh needs a display}"
e2e_begin private_files
umask 022
mode() { stat -c %a "$1"; }

wine reg delete 'HKCU\Software\Mobrix\Arkel' /f </dev/null >/dev/null 2>&1 || true
printf '{"databases":[{"name":"Arkel","sortOrders":[{"propid":"0x0001001f","flags":2}],"records":[{"props":[{"propid":"0x0001001f","value":"Geheim"}]}]}]}' >"$work/dump.json"

# Starts the program on a store, waits until it has the store open, checks the three files and
# ends the program the way a user closes it.
run_program() {
  local store=$1
  ARKEL_OBJECT_STORE=$(winepath -w "$store") wine "$bin/arkel.exe" </dev/null >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 150); do
    [ -e "$store-shm" ] && [ -e "$store-wal" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended during start-up"
    sleep 0.2
  done
  [ -e "$store-shm" ] || fail "the program did not open $store"
  sleep 2
  for f in "$store" "$store-wal" "$store-shm"; do
    [ "$(mode "$f")" = 600 ] || fail "$(basename "$f") is $(mode "$f") while the program runs, not 600"
  done
  wine taskkill /im arkel.exe </dev/null >/dev/null 2>&1 || true
  for _ in $(seq 75); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end on WM_CLOSE"
  wait "$pid" || true
  pid=""
}

ARKEL_OBJECT_STORE=$(winepath -w "$work/new.cdb") \
  wine "$bin/arkstore.exe" load "$(winepath -w "$work/dump.json")" </dev/null >"$work/load.log" 2>&1 ||
  fail "arkstore load: $(cat "$work/load.log")"
[ "$(mode "$work/new.cdb")" = 600 ] || fail "arkstore made the volume $(mode "$work/new.cdb"), not 600"
run_program "$work/new.cdb"

# A store as an earlier build left it: world-readable volume and journal.
cp "$work/new.cdb" "$work/old.cdb"
chmod 644 "$work/old.cdb"
: >"$work/old.cdb-wal"
chmod 644 "$work/old.cdb-wal"
run_program "$work/old.cdb"
[ "$(mode "$work/old.cdb")" = 600 ] || fail "the old volume stayed $(mode "$work/old.cdb")"
# A read-only store (0400), a FIFO and a character device of the test's own, and the reserved name
# CON: arkstore refuses each with its reason and touches nothing (mode, bytes, no journal beside).
cp "$work/new.cdb" "$work/readonly.cdb"
chmod 400 "$work/readonly.cdb"
mkfifo -m 644 "$work/fifo.cdb"
mkdir "$work/devices"
targets=("$work/readonly.cdb" "$work/fifo.cdb")
if mknod -m 644 "$work/devices/null.cdb" c 1 3 2>/dev/null; then targets+=("$work/devices/null.cdb"); fi
for store in "${targets[@]}"; do
  before=$(stat -c '%a %F' "$store"; if [ -f "$store" ]; then sha256sum <"$store"; fi)
  for command in check dump; do
    set +e
    ARKEL_OBJECT_STORE=$(winepath -w "$store") timeout 60 \
      wine "$bin/arkstore.exe" $command </dev/null >"$work/out.log" 2>"$work/err.log"
    rc=$?
    set -e
    [ "$rc" -eq 1 ] || fail "arkstore $command on $(basename "$store") ended with $rc, not 1"
    grep -q -e 'read-only' -e 'not a regular file' "$work/err.log" ||
      fail "arkstore $command on $(basename "$store") said: $(cat "$work/err.log")"
  done
  after=$(stat -c '%a %F' "$store"; if [ -f "$store" ]; then sha256sum <"$store"; fi)
  [ "$before" = "$after" ] || fail "$(basename "$store") changed: $before -> $after"
  for suffix in -wal -shm; do
    [ ! -e "$store$suffix" ] || fail "$(basename "$store$suffix") was made beside it"
  done
done
mkdir "$work/con"
set +e
ARKEL_OBJECT_STORE=$(winepath -w "$work/con")'\CON' timeout 60 \
  wine "$bin/arkstore.exe" check </dev/null >/dev/null 2>"$work/err.log"
rc=$?
set -e
[ "$rc" -eq 1 ] || fail "arkstore check on CON ended with $rc, not 1"
[ -z "$(ls -A "$work/con")" ] || fail "files were made beside CON: $(ls -A "$work/con")"

# The wineserver takes the umask of whoever starts it. In a prefix of its own, started under
# umask 022 and under 002, arkstore's new volume, its dump written with -o and the store the
# program runs on (volume, journal, shared memory) are each 0600 exactly.
# The copies are taken once the test prefix's server has ended: a server still writing its
# registry (the earlier test's) would leave a copy without its user.reg.
wineserver -w
for u in 022 002; do
  prefix=$work/prefix-$u
  cp -a "$WINEPREFIX" "$prefix"
  (
    umask "$u"
    export WINEPREFIX=$prefix
    store=$work/umask-$u.cdb
    ARKEL_OBJECT_STORE=$(winepath -w "$store") \
      wine "$bin/arkstore.exe" load "$(winepath -w "$work/dump.json")" </dev/null >"$work/load.log" 2>&1 ||
      fail "umask $u: arkstore load: $(cat "$work/load.log")"
    [ "$(mode "$store")" = 600 ] || fail "umask $u: arkstore made the volume $(mode "$store"), not 600"
    ARKEL_OBJECT_STORE=$(winepath -w "$store") \
      wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/dump-$u.json")" </dev/null >"$work/dump.log" 2>&1 ||
      fail "umask $u: arkstore dump -o: $(cat "$work/dump.log")"
    grep -q Geheim "$work/dump-$u.json" || fail "umask $u: the dump lacks the record"
    [ "$(mode "$work/dump-$u.json")" = 600 ] ||
      fail "umask $u: arkstore dump -o wrote $(mode "$work/dump-$u.json"), not 600"
    run_program "$store"
    wineserver -k
  ) || exit 1
done
echo "private_files: ok"
