# Steps shared by the end-to-end scripts. The caller calls e2e_begin first and sets bin (the
# folder of arkel.exe).

# The beginning every script shares: Wine quiet, a work folder and the program's pid (empty until
# it starts), the program stopped and the folder removed on exit, and fail MESSAGE named after
# the script ($1). A script that must do more on the way out defines before_cleanup, which runs
# first.
e2e_begin() {
  e2e_name=$1
  export WINEDEBUG=-all
  work=$(mktemp -d)
  pid=""
  trap e2e_cleanup EXIT
}

e2e_cleanup() {
  if declare -F before_cleanup >/dev/null; then before_cleanup || true; fi
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}

fail() { echo "$e2e_name: $*" >&2; exit 1; }

# Starts arkel.exe in a Wine desktop titled $1 (240x320, or the size $3) and waits until the
# program has opened its store $2 (SQLite makes the store's -shm file with the first connection and removes it with the
# last, so it is there only while the program holds the store). Sets pid and desk. Wine's own
# processes outlive the call that starts them: none of them may inherit the script's output, or
# CTest would wait for them.
start_arkel() {
  wine explorer /desktop="$1","${3:-240x320}" "$(winepath -w "$bin/arkel.exe" </dev/null 2>/dev/null)" </dev/null >/dev/null 2>&1 &
  pid=$!
  desk=""
  # Up to a minute: a machine busy with other work can take that long to bring Wine's desktop up.
  for _ in $(seq 300); do
    desk=$(xdotool search --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$desk" ] && break
    kill -0 "$pid" 2>/dev/null || fail "Wine ended before its desktop appeared"
    sleep 0.2
  done
  [ -n "$desk" ] || fail "the virtual desktop did not appear"
  xdotool windowfocus --sync "$desk" 2>/dev/null || xdotool windowfocus "$desk"
  for _ in $(seq 300); do
    [ -e "$2-shm" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended during start-up"
    sleep 0.2
  done
  [ -e "$2-shm" ] || fail "the program did not open its store"
  sleep 2
}

# Ends the program with Ctrl+Q (through the caller's key) and waits up to $1 seconds (default 10)
# for it to end; the closing pass of an encrypted store runs in that time.
quit_arkel() {
  key ctrl+q
  wait_ended "${1:-10}" || fail "Ctrl+Q did not end the program"
}

# Waits up to $1 seconds for the program to end; false when it still runs.
wait_ended() {
  for _ in $(seq $(($1 * 5))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$pid" 2>/dev/null && return 1
  wait "$pid" || true
  pid=""
}

# Screens read through vault_check.py (beside this file): the caller sets art (the artifacts
# folder) and desk. pixels NAME shoots the desktop into $art/<script>-NAME.png and prints the
# counts; value KEY COUNTS picks one of them.
e2e_pixels() {
  import -window "$desk" "$art/$e2e_name-$1.png"
  python3 "$(dirname "${BASH_SOURCE[0]}")/vault_check.py" pixels "$art/$e2e_name-$1.png"
}
value() { sed -n "s/.*$1=\([0-9]*\).*/\1/p" <<<"$2"; }

# The main window with its list of $2 rows and no dialog over it (given a moment to repaint);
# the counts stay in shown.
expect_main() {
  local p
  for _ in 1 2 3; do
    p=$(e2e_pixels "$1")
    [ "$(value rows "$p")" -eq "$2" ] && break
    sleep 1
  done
  [ "$(value list "$p")" -gt 60 ] || fail "$1: the list is not shown ($p)"
  [ "$(value dialog "$p")" -lt 3000 ] || fail "$1: a dialog covers the main window ($p)"
  [ "$(value rows "$p")" -eq "$2" ] || fail "$1: $(value rows "$p") rows instead of $2 ($p)"
  shown=$p
}

expect_dialog() {
  local p
  p=$(e2e_pixels "$1")
  [ "$(value dialog "$p")" -gt 5000 ] || fail "$1: no dialog is shown ($p)"
}
