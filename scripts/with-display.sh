#!/usr/bin/env bash
# Runs a command with an X display: the caller's when DISPLAY is set, else a private Xvfb that
# this script starts and stops again (by its process id).
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 "${ARKEL_XVFB_SCREEN:-1024x768x24}" -nolisten tcp >/dev/null 2>&1 &
xpid=$!
cleanup() { kill "$xpid" 2>/dev/null || true; wait "$xpid" 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$n" ] && break
  sleep 0.05
done
export DISPLAY=":$n"
set +e
"$@"
rc=$?
exit $rc
