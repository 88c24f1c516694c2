#!/usr/bin/env bash
# End to end, the desktop shape: make install, then the launcher on a 1280x800 screen run by a
# real window manager (openbox, started here), with a Wine prefix of the test's own. The window
# manager lists a window "The Arkel" of class arkel.exe with the chest as its icon, and no Wine
# desktop; resized to 900x700 the detail area and the list fill the new width; the export and
# import dialogs lie whole on the screen with their buttons drawn; the next start opens at the
# place of the last end; a second start brings it to the front; at 192 DPI (Xft.dpi) the list's rows are twice as tall as at 96. The
# store holds its objects unchanged afterwards.
#   desktop.sh WIN_BIN_DIR ARKFILE ARTIFACTS_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin=$(cd "$1" && pwd)
arkfile=$2
art=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdir -p "$art"
e2e_begin desktop
xpid="" wmpid=""
before_cleanup() {
  if [ -d "$work/wineprefix" ]; then
    # This test made the prefix: its server and every process in it are the test's own.
    WINEPREFIX="$work/wineprefix" wineserver -k >/dev/null 2>&1 || true
  fi
  [ -n "$wmpid" ] && kill "$wmpid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  return 0
}
check() { python3 "$here/desktop_check.py" "$@"; }
key() { xdotool key --delay 80 "$@"; sleep 0.8; }

# A screen of its own, with a window manager.
n=120
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
export DISPLAY=":$n"
openbox </dev/null >/dev/null 2>&1 &
wmpid=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

prefix=$work/prefix
mkdir "$prefix"
"$root/scripts/install.sh" install "$bin" "$arkfile" "$prefix" >/dev/null
export WINEPREFIX="$work/wineprefix"
ARKEL_OBJECT_STORE=$(winepath -w "$work/desk.cdb" 2>/dev/null)
export ARKEL_OBJECT_STORE
wine "$bin/arkstore.exe" load "$(winepath -w "$here/browse.json" 2>/dev/null)" </dev/null >/dev/null 2>&1 ||
  fail "the store could not be loaded"

# Starts the launcher at the DPI $1 (through Xft.dpi) and sets main to the program's window.
launch() {
  echo "Xft.dpi: $1" | xrdb -merge
  "$prefix/bin/arkel" </dev/null >/dev/null 2>&1 &
  pid=$!
  main=""
  for _ in $(seq 300); do
    main=$(xdotool search --name '^The Arkel$' 2>/dev/null | head -n1 || true)
    [ -n "$main" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the launcher ended"
    sleep 0.2
  done
  [ -n "$main" ] || fail "no window \"The Arkel\" at $1 DPI"
  for _ in $(seq 50); do [ -e "$work/desk.cdb-shm" ] && break; sleep 0.2; done
  sleep 2
  xdotool windowactivate --sync "$main" 2>/dev/null || true
}
quit() {
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  quit_arkel 15
}
# The window's place: X Y W H of its client area on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /^ *Width/ { w = $NF } /^ *Height/ { h = $NF } END { print x, y, w, h }'
}
box() { sed -n "s/.*$1=\([0-9,]*\).*/\1/p" <<<"$2" | tr , ' '; }

launch 96
# The window manager's own window, not a Wine desktop.
xdotool search --name 'Wine desktop' >/dev/null 2>&1 && fail "the program runs in a Wine desktop"
xprop -root _NET_CLIENT_LIST | grep -qi "$(printf '0x%x' "$main")" ||
  fail "the window manager does not list the window"
xprop -id "$main" WM_CLASS | grep -q '"arkel.exe"' || fail "class: $(xprop -id "$main" WM_CLASS)"
xprop -id "$main" -notype 32c _NET_WM_ICON | check icon || fail "the window has not the chest's icon"

# Resized to 900x700: the detail area and the list fill the new width.
xdotool windowsize --sync "$main" 900 700 2>/dev/null || xdotool windowsize "$main" 900 700
sleep 2
read -r x y w h <<<"$(geometry "$main")"
[ "$w" -eq 900 ] && [ "$h" -eq 700 ] || fail "the window is ${w}x$h, not 900x700"
import -window root "$art/desktop-96.png"
boxes=$(check extent "$art/desktop-96.png" "$x" "$y" $((x + w)) $((y + h)))
echo "desktop: 96 DPI at $x,$y ${w}x$h: $boxes"
read -r dl _ dr _ <<<"$(box detail "$boxes")"
read -r ll _ lr lb <<<"$(box list "$boxes")"
read -r _ st _ sb <<<"$(box selected "$boxes")"
[ "$dl" -le $((x + 2)) ] && [ "$dr" -ge $((x + w - 3)) ] || fail "the detail area spans $dl..$dr"
[ "$ll" -le $((x + 4)) ] && [ "$lr" -ge $((x + w - 6)) ] || fail "the list spans $ll..$lr"
[ "$lb" -ge $((y + h - 30)) ] || fail "the list ends at $lb, above the window's bottom $((y + h))"
row96=$((sb - st + 1))
[ "$row96" -ge 10 ] || fail "no selected row at 96 DPI ($boxes)"

# The file dialogs lie whole on the screen with their buttons drawn.
for step in "x export" "i import"; do
  read -r letter name <<<"$step"
  key alt+d
  key "$letter"
  sleep 1
  dialog=""
  for w2 in $(xdotool search --onlyvisible --class 'arkel.exe' 2>/dev/null); do
    [ "$w2" = "$main" ] || dialog=$w2
  done
  [ -n "$dialog" ] || fail "no $name dialog came up"
  read -r dx dy dw dh <<<"$(geometry "$dialog")"
  echo "desktop: the $name dialog at $dx,$dy ${dw}x$dh"
  [ "$dx" -ge 0 ] && [ "$dy" -ge 0 ] && [ $((dx + dw)) -le 1280 ] && [ $((dy + dh)) -le 800 ] ||
    fail "the $name dialog lies off the screen"
  import -window "$dialog" "$art/desktop-$name.png"
  # The buttons at the bottom right: drawn faces with dark text on them.
  ink=$(convert "$art/desktop-$name.png" -gravity SouthEast -crop 40%x25%+0+0 +repage \
    -colorspace gray -threshold 40% -negate -format '%[fx:mean]' info:)
  awk -v v="$ink" 'BEGIN { exit !(v > 0.005 && v < 0.5) }' || fail "the $name dialog's buttons are not drawn ($ink)"
  key Escape
done

# A second start while another window has the focus brings the running program to the front and
# opens no second one.
xmessage -name other "ein anderes Programm" </dev/null >/dev/null 2>&1 &
other=$!
for _ in $(seq 50); do xdotool search --classname '^other$' >/dev/null 2>&1 && break; sleep 0.1; done
xdotool search --classname '^other$' windowactivate --sync >/dev/null 2>&1 || true
sleep 0.5
[ "$(xdotool getactivewindow)" != "$main" ] || fail "the other window did not take the focus"
timeout 60 "$prefix/bin/arkel" </dev/null >/dev/null 2>&1 || fail "the second start failed"
sleep 1
kill "$other" 2>/dev/null || true
[ "$(xdotool search --name '^The Arkel$' | wc -l)" -eq 1 ] || fail "a second start opened a second window"
[ "$(xdotool getactivewindow)" = "$main" ] || fail "the second start did not bring the program to the front"

# The next start opens where the last one ended.
quit
launch 96
read -r x2 y2 w2 h2 <<<"$(geometry "$main")"
[ "$w2" -eq 900 ] && [ "$h2" -eq 700 ] || fail "the next start is ${w2}x$h2, not 900x700"
# Within a few pixels: Wine learns the place a window manager gives a window resized from outside
# with the frame's width of difference.
[ "${x2#-}" -ge 0 ] && [ $((x2 - x)) -le 8 ] && [ $((x - x2)) -le 8 ] && [ $((y2 - y)) -le 8 ] &&
  [ $((y - y2)) -le 8 ] || fail "the next start is at $x2,$y2, not $x,$y"
quit

# At 192 DPI the rows are twice as tall (the place of 900x700 at 96 DPI is scaled to the screen).
launch 192
read -r x y w h <<<"$(geometry "$main")"
import -window root "$art/desktop-192.png"
boxes=$(check extent "$art/desktop-192.png" "$x" "$y" $((x + w)) $((y + h)))
echo "desktop: 192 DPI at $x,$y ${w}x$h: $boxes"
read -r _ st _ sb <<<"$(box selected "$boxes")"
row192=$((sb - st + 1))
echo "desktop: a row is $row96 pixels at 96 DPI, $row192 at 192"
awk -v a="$row96" -v b="$row192" 'BEGIN { exit !(b >= 1.7 * a && b <= 2.3 * a) }' ||
  fail "a row is $row192 pixels at 192 DPI against $row96 at 96"
quit

wine "$bin/arkstore.exe" dump -o "$(winepath -w "$work/dump.json" 2>/dev/null)" </dev/null >/dev/null 2>&1 ||
  fail "the store could not be dumped"
python3 "$here/vault_check.py" plain "$work/dump.json" "$here/browse.json" ||
  fail "the store does not hold its objects unchanged"
echo "desktop: ok"
