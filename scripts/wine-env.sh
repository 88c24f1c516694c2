# Sourced by every script that runs Wine: wine_env WIN_BUILD_DIR sets up Wine's environment.
#
# - Quiet Wine; Wine's own TrueType fonts (Tahoma, Marlett) through fontconfig.
# - German: Wine takes its locale and the language of its own texts (message box buttons "Ja",
#   "Nein", "Abbrechen", the file and colour dialogs) from the Unix locale, and only from one that
#   glibc can load; without it Wine falls back to English. The German locale de_DE.UTF-8 is made
#   once inside the build tree (localedef, from Debian's "locales" sources) and named through
#   LOCPATH, so nothing outside the build tree changes. The ANSI code page Wine derives from
#   de-DE is 1252.
wine_env() {
  local build here locales
  build=$(cd "$1" && pwd)
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  export WINEDEBUG=${WINEDEBUG:--all}
  export FONTCONFIG_FILE="${FONTCONFIG_FILE:-$here/fonts.conf}"
  locales="$build/locale"
  if [ ! -f "$locales/de_DE.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$locales"
    (
      flock 8
      if [ ! -f "$locales/de_DE.UTF-8/LC_CTYPE" ]; then
        rm -rf "$locales/.de_DE.UTF-8"
        # localedef reports warnings of Debian's sources with status 1; the files are complete.
        localedef -i de_DE -f UTF-8 "$locales/.de_DE.UTF-8" >/dev/null 2>&1 || true
        [ -f "$locales/.de_DE.UTF-8/LC_CTYPE" ] || {
          echo "wine-env: cannot make the German locale (is the package \"locales\" installed?)" >&2
          exit 1
        }
        mv "$locales/.de_DE.UTF-8" "$locales/de_DE.UTF-8"
      fi
    ) 8>"$locales/.lock" || return 1
  fi
  # This shell itself cannot load the locale (glibc reads LOCPATH from the environment it was
  # started with); its warning about that is of no concern, only the programs it starts use it.
  { export LOCPATH="$locales" LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8; } 2>/dev/null
  unset LANGUAGE
}
