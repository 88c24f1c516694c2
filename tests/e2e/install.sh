#!/usr/bin/env bash
# make install and uninstall with a PREFIX of their own: the launcher (--handheld) starts the program
# in its 240x320 desktop (screenshot checked by pixels), a second launch brings the first to the
# front and opens no second program, arkfile runs from the installed path, the desktop entry
# names the launcher and a PNG icon; uninstall leaves PREFIX empty and the store untouched.
#   install.sh WIN_BIN_DIR ARKFILE ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
arkfile=$2
art=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${DISPLAY:?install.sh needs a display}"
mkdir -p "$art"
e2e_begin install
before_cleanup() {
  if [ -d "$work/wineprefix" ]; then
    # This test made the prefix: its server and every process in it are the test's own.
    WINEPREFIX="$work/wineprefix" wineserver -k >/dev/null 2>&1 || true
  fi
}
windows() { xdotool search --name "^$1\$" 2>/dev/null | wc -l; }

prefix=$work/prefix
mkdir "$prefix"
"$root/scripts/install.sh" install "$bin" "$arkfile" "$prefix"
for f in bin/arkel bin/arkfile lib/arkel/arkel.exe lib/arkel/PegHelp.exe lib/arkel/arkel.htp \
  lib/arkel/arkstore.exe lib/arkel/locale/de_DE.UTF-8/LC_CTYPE share/applications/arkel.desktop \
  share/icons/hicolor/32x32/apps/arkel.png share/man/man1/arkfile.1; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
[ -x "$prefix/bin/arkel" ] || fail "the launcher is not executable"
"$prefix/bin/arkfile" --help >/dev/null || fail "arkfile --help failed from $prefix/bin"
[ "$(identify -format '%m %wx%h' "$prefix/share/icons/hicolor/32x32/apps/arkel.png")" = "PNG 32x32" ] ||
  fail "the icon is no 32x32 PNG"
grep -qx "Exec=$prefix/bin/arkel" "$prefix/share/applications/arkel.desktop" || fail "Exec line"
grep -qx "StartupWMClass=arkel.exe" "$prefix/share/applications/arkel.desktop" || fail "StartupWMClass line"
grep -qx "Icon=$prefix/share/icons/hicolor/32x32/apps/arkel.png" "$prefix/share/applications/arkel.desktop" ||
  fail "Icon line"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/arkel.desktop" || fail "the desktop entry is invalid"
fi

# The launcher with a Wine prefix of the test's own (a user's would be ~/.wine) and its store.
export WINEPREFIX="$work/wineprefix"
unset ARKEL_OBJECT_STORE
"$prefix/bin/arkel" --handheld </dev/null >/dev/null 2>&1 &
pid=$!
for _ in $(seq 300); do
  [ "$(windows 'The Arkel')" -ge 1 ] && break
  kill -0 "$pid" 2>/dev/null || fail "the launcher ended"
  sleep 0.2
done
[ "$(windows 'The Arkel')" -eq 1 ] || fail "the program did not start"
sleep 3
desk=$(xdotool search --name '^Arkel - Wine desktop$' | head -n1)
import -window "$desk" "$art/install_start.png"
echo "screenshot $art/install_start.png"
[ "$(identify -format '%wx%h' "$art/install_start.png")" = "240x320" ] || fail "the desktop is not 240x320"
# The main window fills the screen: its bars at the top hold drawn buttons and text, the empty
# list below is plain.
bars=$(convert "$art/install_start.png" -crop 240x40+0+0 +repage -colorspace gray -threshold 50% -negate -format '%[fx:mean]' info:)
echo "install: dark share of the bars $bars"
awk -v v="$bars" 'BEGIN { exit !(v > 0.02 && v < 0.6) }' || fail "no bars drawn at the top ($bars)"

# A second launch: no second program, the first stays.
timeout 60 "$prefix/bin/arkel" --handheld </dev/null >/dev/null 2>&1 || fail "the second launch failed"
sleep 1
[ "$(windows 'The Arkel')" -eq 1 ] || fail "a second launch opened a second program"
kill -0 "$pid" 2>/dev/null || fail "the second launch ended the first"

xdotool mousemove --window "$desk" 100 200 click 1
sleep 0.5
xdotool key ctrl+q
for _ in $(seq 75); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$pid" 2>/dev/null && fail "Ctrl+Q did not end the program"
wait "$pid" || true
pid=""
store=$(ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/Mobrix/Arkel/Arkel.cdb 2>/dev/null | head -n1)
[ -n "$store" ] || fail "the program made no store in the user's prefix"

"$root/scripts/install.sh" uninstall "$prefix"
left=$(find "$prefix" -mindepth 1)
[ -z "$left" ] || fail "uninstall left: $left"
[ -f "$store" ] || fail "uninstall removed the user's store"
echo "install: ok"
