#!/bin/sh
# The Arkel: starts the installed program under Wine in a desktop of 240x320 pixels, the
# handheld's screen, with Wine's own fonts and the German locale installed beside it. The
# store and the settings live in the user's Wine prefix (WINEPREFIX, else ~/.wine). A second
# start while the program runs brings the first to the front.
lib='@LIB@'
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
# The desktop window of a running program comes to the front; the program itself, started a
# second time, brings its window to the front inside it and ends.
if command -v xdotool >/dev/null 2>&1; then
  xdotool search --name "^Arkel - Wine desktop\$" windowactivate >/dev/null 2>&1 || true
fi
exe=$(winepath -w "$lib/arkel.exe" 2>/dev/null) || exe="$lib/arkel.exe"
exec wine explorer /desktop=Arkel,240x320 "$exe"
