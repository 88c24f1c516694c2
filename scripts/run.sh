#!/usr/bin/env bash
# Starts arkel.exe under Wine: as a window of the user's desktop, or with HANDHELD=1 in a virtual
# desktop of 240x320 pixels, the handheld's screen. ARKEL_SCALE (e.g. 1.5) sets Wine's DPI to that
# many times 96; the desktop window otherwise gets the X screen's DPI (Xft.dpi, else its
# resolution), the handheld's screen 96.
# The store and the settings live in the Wine prefix (WINEPREFIX, else ~/.wine), outside the
# build tree. Without a display, the program runs on a private Xvfb (1280x800, or 240x320 for the
# handheld): a screenshot is saved to build/screenshot.png once it has started, and the program is
# then closed again.
set -euo pipefail
build=${1:-build/win}
exe="$(cd "$build/bin" && pwd)/arkel.exe"
handheld=${HANDHELD:-0}
[ "$handheld" = 0 ] || handheld=1
# Fonts and the German locale of Wine's own texts (message box buttons, file dialogs).
. "$(dirname "$0")/wine-env.sh"
wine_env "$build"
# No Mono or Gecko prompts when Wine makes a new prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Files the program creates (the store, exported files) are for the user alone.
umask 077

# Wine's DPI, in the prefix's registry (written only when it changes).
set_dpi() {
  local dpi=96 prefix=${WINEPREFIX:-$HOME/.wine} x
  if [ -n "${ARKEL_SCALE:-}" ]; then
    dpi=$(awk -v s="$ARKEL_SCALE" 'BEGIN { printf "%d", s * 96 + 0.5 }')
  elif [ "$handheld" = 0 ]; then
    x=$(xrdb -query 2>/dev/null | awk '$1 == "Xft.dpi:" { printf "%d", $2 + 0.5; exit }' || true)
    [ -n "$x" ] || x=$(xdpyinfo 2>/dev/null |
      awk '/resolution:/ { split($2, r, "x"); printf "%d", r[2] + 0.5; exit }' || true)
    [ -n "$x" ] && dpi=$x
  fi
  { [ "$dpi" -ge 48 ] && [ "$dpi" -le 480 ]; } 2>/dev/null || dpi=96
  if ! grep -qi "^\"LogPixels\"=dword:$(printf '%08x' "$dpi")" "$prefix/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || true
  fi
}

start() {
  set_dpi
  if [ "$handheld" = 1 ]; then
    wine explorer "/desktop=Arkel,240x320" "$exe"
  else
    wine "$exe"
  fi
}

if [ -n "${DISPLAY:-}" ]; then
  start
  exit
fi

screen=1280x800
[ "$handheld" = 1 ] && screen=240x320
shot="$(cd "$(dirname "$build")" && pwd)/screenshot.png"
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
xpid=$!
trap 'kill "$xpid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
export DISPLAY=":$n"

echo "run: starting arkel.exe on the private display $DISPLAY (first start of a prefix takes a while)"
start &
wpid=$!
for _ in $(seq 600); do
  xdotool search --name '^(The Arkel|Arkel - Wine desktop)$' >/dev/null 2>&1 && break
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
