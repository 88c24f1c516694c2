#!/usr/bin/env bash
# Makes the test prefix named by WINEPREFIX once: initialised without Mono and Gecko prompts, with
# Wine's crash dialog switched off, so that a failing test ends instead of waiting for a click, and
# with one virtual desktop for every program: without a window manager (Xvfb) Wine needs about two
# seconds to destroy each top-level X window, inside a virtual desktop none.
set -euo pipefail
: "${WINEPREFIX:?}"
stamp="$WINEPREFIX/.arkel-ready-2"
[ -f "$stamp" ] && exit 0
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$stamp" ] && exit 0
echo "wine: preparing prefix $WINEPREFIX" >&2
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
WINEDEBUG=-all wineserver -w
touch "$stamp"
