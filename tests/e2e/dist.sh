#!/usr/bin/env bash
# The Windows package: two packings of the same build are the same bytes; the zip holds what a
# user needs and its executables need no DLL beyond Windows'; unpacked alone into an empty
# folder and started in a fresh Wine prefix, the program starts, F1 opens the help viewer at the
# overview, and Ctrl+Q ends the program.
#   dist.sh WIN_BUILD_DIR ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=$(cd "$1" && pwd)
art=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${DISPLAY:?dist.sh needs a display}"
mkdir -p "$art"
e2e_begin dist
before_cleanup() {
  if [ -d "$work/prefix" ]; then
    # This test made the prefix: its server and every process in it are the test's own.
    WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true
  fi
}
title() {
  for _ in $(seq 100); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  fail "no window titled '$1'"
}

"$root/scripts/dist.sh" "$build" "$work/a/arkel-3.01-win64.zip" >/dev/null
"$root/scripts/dist.sh" "$build" "$work/b/arkel-3.01-win64.zip" >/dev/null
cmp "$work/a/arkel-3.01-win64.zip" "$work/b/arkel-3.01-win64.zip" || fail "two packings differ"

mkdir "$work/unpacked"
unzip -q "$work/a/arkel-3.01-win64.zip" -d "$work/unpacked"
listing=$(cd "$work/unpacked" && LC_ALL=C ls | tr '\n' ' ')
[ "$listing" = "LIESMICH.txt PegHelp.exe README.txt THIRD-PARTY-NOTICES.txt arkel.exe arkel.htp arkstore.exe " ] ||
  fail "unexpected contents: $listing"
for exe in "$work/unpacked"/*.exe; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print tolower($3) }' | tr '\n' ' ')
  echo "dist: $(basename "$exe") imports $dlls"
  if grep -Eq 'libgcc|libstdc|libwinpthread|mingw' <<<"$dlls"; then fail "$(basename "$exe") needs a compiler runtime"; fi
done

# A fresh prefix that knows nothing of the build: the unpacked folder is all there is.
export WINEPREFIX="$work/prefix"
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
exe=$(winepath -w "$work/unpacked/arkel.exe" 2>/dev/null)
(cd "$work" && exec wine explorer /desktop=ArkelDist,240x320 "$exe" </dev/null >/dev/null 2>&1) &
pid=$!
title 'The Arkel'
sleep 3
desk=$(xdotool search --name '^ArkelDist' | head -n1)
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5
xdotool key F1
title 'Hilfe: The Arkel'
sleep 1
import -window "$desk" "$art/dist_help.png"
echo "screenshot $art/dist_help.png"
ink=$(convert "$art/dist_help.png" -crop 218x270+4+46 +repage -colorspace gray -threshold 50% -negate \
  -format '%[fx:mean]' info:)
awk -v v="$ink" 'BEGIN { exit !(v >= 0.03 && v <= 0.5) }' || fail "the help shows no text ($ink)"
xdotool key Escape
sleep 0.5
xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.3
xdotool key ctrl+q
for _ in $(seq 75); do
  xdotool search --name '^The Arkel$' >/dev/null 2>&1 || break
  sleep 0.2
done
xdotool search --name '^The Arkel$' >/dev/null 2>&1 && fail "Ctrl+Q did not end the program"
ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/Mobrix/Arkel/Arkel.cdb >/dev/null 2>&1 ||
  fail "the program made no store in the user's folder of the fresh prefix"
echo "dist: ok"
