#!/usr/bin/env bash
# Starts arkel.exe under Wine in a virtual desktop of 240x320 pixels, the handheld's screen.
# The store and the settings live in the Wine prefix (WINEPREFIX, else ~/.wine), outside the
# build tree. Without a display, the program runs on a private Xvfb: a screenshot is saved to
# build/screenshot.png once it has started, and the program is then closed again.
set -euo pipefail
build=${1:-build/win}
exe="$(cd "$build/bin" && pwd)/arkel.exe"
size=${ARKEL_SCREEN:-240x320}
# Fonts and the German locale of Wine's own texts (message box buttons, file dialogs).
. "$(dirname "$0")/wine-env.sh"
wine_env "$build"
# No Mono or Gecko prompts when Wine makes a new prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Files the program creates (the store, exported files) are for the user alone.
umask 077

if [ -n "${DISPLAY:-}" ]; then
  exec wine explorer "/desktop=Arkel,$size" "$exe"
fi

shot="$(cd "$(dirname "$build")" && pwd)/screenshot.png"
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
xpid=$!
trap 'kill "$xpid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
export DISPLAY=":$n"

echo "run: starting arkel.exe on the private display $DISPLAY (first start of a prefix takes a while)"
wine explorer "/desktop=Arkel,$size" "$exe" &
wpid=$!
# The program's window lives inside Wine's desktop window; wait for that, then for start-up.
for _ in $(seq 600); do
  xdotool search --name 'Arkel' >/dev/null 2>&1 && break
  kill -0 "$wpid" 2>/dev/null || break
  sleep 0.2
done
sleep "${ARKEL_SETTLE:-4}"
import -window root "$shot"
echo "run: screenshot of the started program: $shot"
# Close the program the way a user would (WM_CLOSE), then let Wine wind down.
wine taskkill /im arkel.exe >/dev/null 2>&1 || true
for _ in $(seq 50); do kill -0 "$wpid" 2>/dev/null || break; sleep 0.2; done
kill "$wpid" 2>/dev/null || true
wait "$wpid" 2>/dev/null || true
