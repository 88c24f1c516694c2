#!/usr/bin/env bash
# Makes the Wine prefix named by WINEPREFIX once: initialised without Mono and Gecko prompts and
# with Wine's crash dialog switched off, so that a failing test ends instead of waiting for a click.
set -euo pipefail
: "${WINEPREFIX:?}"
stamp="$WINEPREFIX/.arkel-ready"
[ -f "$stamp" ] && exit 0
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$stamp" ] && exit 0
echo "wine: preparing prefix $WINEPREFIX" >&2
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
WINEDEBUG=-all wineserver -w
touch "$stamp"
