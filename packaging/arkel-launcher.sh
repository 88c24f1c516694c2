#!/bin/sh
# The Arkel: starts the installed program under Wine with Wine's own fonts and the German locale
# installed beside it. The store and the settings live in the user's Wine prefix (WINEPREFIX,
# else ~/.wine). A second start while the program runs brings the first to the front.
#
#   arkel                 a window of the user's desktop, at the DPI of the X screen
#   arkel --scale 1.5     the same, at 1.5 times 96 DPI (144)
#   arkel --handheld      inside a Wine desktop of 240x320 pixels, the handheld's screen, at 96 DPI
lib='@LIB@'
handheld=0
scale=
while [ $# -gt 0 ]; do
  case "$1" in
  --handheld) handheld=1 ;;
  --scale) [ $# -ge 2 ] || { echo "arkel: --scale needs a factor such as 1.5" >&2; exit 2; }
    scale=$2; shift ;;
  --scale=*) scale=${1#--scale=} ;;
  -h | --help)
    sed -n '6,8s/^# *//p' "$0"
    exit 0 ;;
  *) echo "arkel: unknown option $1 (known: --handheld, --scale FACTOR)" >&2; exit 2 ;;
  esac
  shift
done
export WINEDEBUG="${WINEDEBUG:--all}"
export FONTCONFIG_FILE="${FONTCONFIG_FILE:-$lib/fonts.conf}"
# No Mono or Gecko prompts when Wine makes the user's prefix on the first start.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# German: Wine takes the language of its own texts (message box buttons, file dialogs) from a
# locale that glibc can load; the installed one is named through LOCPATH.
if [ -f "$lib/locale/de_DE.UTF-8/LC_CTYPE" ]; then
  export LOCPATH="$lib/locale" LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8
  unset LANGUAGE
fi
# The store and exported files are for the user alone.
umask 077

# The DPI: from --scale, else the X screen's Xft.dpi, else its resolution (its pixels over its
# physical size); 96 when none is known and always on the handheld's screen unless --scale says
# otherwise. Wine takes it from the prefix's registry; it is written only when it changes.
dpi=
if [ -n "$scale" ]; then
  dpi=$(awk -v s="$scale" 'BEGIN { if (s + 0 < 0.5 || s + 0 > 5) exit 1; printf "%d", s * 96 + 0.5 }') ||
    { echo "arkel: --scale takes a factor from 0.5 to 5, such as 1.5" >&2; exit 2; }
elif [ "$handheld" = 0 ]; then
  dpi=$(xrdb -query 2>/dev/null | awk '$1 == "Xft.dpi:" { printf "%d", $2 + 0.5; exit }')
  [ -n "$dpi" ] || dpi=$(xdpyinfo 2>/dev/null |
    awk '/resolution:/ { split($2, r, "x"); printf "%d", r[2] + 0.5; exit }')
fi
case "$dpi" in '' | *[!0-9]*) dpi=96 ;; esac
[ "$dpi" -ge 48 ] && [ "$dpi" -le 480 ] || dpi=96
prefix=${WINEPREFIX:-$HOME/.wine}
hex=$(printf '%08x' "$dpi")
if ! awk -v want="\"LogPixels\"=dword:$hex" '
    /^\[/ { inside = ($0 ~ /^\[Control Panel\\\\Desktop\]/) }
    inside && $0 == want { found = 1 }
    END { exit !found }' "$prefix/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || true
fi

exe=$(winepath -w "$lib/arkel.exe" 2>/dev/null) || exe="$lib/arkel.exe"
if [ "$handheld" = 1 ]; then
  # The desktop window of a running program comes to the front; the program itself, started a
  # second time, brings its window to the front inside it and ends.
  if command -v xdotool >/dev/null 2>&1; then
    xdotool search --name "^Arkel - Wine desktop\$" windowactivate >/dev/null 2>&1 || true
  fi
  exec wine explorer /desktop=Arkel,240x320 "$exe"
fi
# A window of the user's own desktop, placed, resized and listed by the window manager.
exec wine "$exe"
