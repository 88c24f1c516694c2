#!/usr/bin/env bash
# Installs The Arkel for one user on Linux, or removes it again.
#   install.sh install WIN_BIN_DIR ARKFILE PREFIX
#   install.sh uninstall PREFIX
# PREFIX/lib/arkel      the programs, the help, Wine's font set-up and the list of what was put
# PREFIX/bin/arkel      the launcher: the program under Wine in a 240x320 desktop
# PREFIX/bin/arkfile    the exchange-file tool, with its manual page in PREFIX/share/man/man1
# PREFIX/share/applications/arkel.desktop and PREFIX/share/icons/hicolor/32x32/apps/arkel.png
# The user's Wine prefix and the store in it are never touched, by either command.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

remove_all() {
  local prefix=$1 list="$1/lib/arkel/installed.txt"
  [ -f "$list" ] || { echo "uninstall: nothing of The Arkel is installed in $prefix"; return 0; }
  while IFS= read -r f; do rm -f "$prefix/$f"; done <"$list"
  rm -f "$list"
  [ -d "$prefix/lib/arkel/locale" ] && find "$prefix/lib/arkel/locale" -depth -type d -empty -delete
  # The folders that are empty now, deepest first, up to PREFIX but not PREFIX itself.
  for d in lib/arkel lib share/applications share/icons/hicolor/32x32/apps \
    share/icons/hicolor/32x32 share/icons/hicolor share/icons share/man/man1 share/man share bin; do
    rmdir "$prefix/$d" 2>/dev/null || true
  done
  echo "uninstall: removed The Arkel from $prefix"
}

install_all() {
  local bin=$1 arkfile=$2 prefix=$3
  mkdir -p "$prefix"
  prefix=$(cd "$prefix" && pwd)
  local lib=$prefix/lib/arkel
  remove_all "$prefix" >/dev/null
  mkdir -p "$lib" "$prefix/bin" "$prefix/share/applications" "$prefix/share/icons/hicolor/32x32/apps" \
    "$prefix/share/man/man1"
  local files=()
  put() {  # put SOURCE RELATIVE_TARGET MODE
    command install -m "$3" "$1" "$prefix/$2"
    files+=("$2")
  }
  for f in arkel.exe PegHelp.exe arkstore.exe; do
    x86_64-w64-mingw32-strip -o "$lib/$f.tmp" "$bin/$f"
    put "$lib/$f.tmp" "lib/arkel/$f" 644
    rm -f "$lib/$f.tmp"
  done
  put "$bin/arkel.htp" lib/arkel/arkel.htp 644
  # The German locale that Wine needs for its own texts, made in the build tree as for the tests,
  # so that the launcher is German whatever locales the system has.
  # shellcheck source=scripts/wine-env.sh
  . "$root/scripts/wine-env.sh"
  (wine_env "$bin/..") || { echo "install: cannot make the German locale" >&2; exit 1; }
  local locale f
  locale=$(cd "$bin/../locale/de_DE.UTF-8" && pwd)
  for f in $(cd "$locale" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); do
    mkdir -p "$(dirname "$lib/locale/de_DE.UTF-8/$f")"
    put "$locale/$f" "lib/arkel/locale/de_DE.UTF-8/$f" 644
  done
  put "$root/scripts/fonts.conf" lib/arkel/fonts.conf 644
  put "$arkfile" bin/arkfile 755
  put "$root/tools/arkfile/arkfile.1" share/man/man1/arkfile.1 644
  sed "s|@LIB@|$lib|g" "$root/packaging/arkel-launcher.sh" >"$lib/arkel.tmp"
  put "$lib/arkel.tmp" bin/arkel 755
  rm -f "$lib/arkel.tmp"
  convert "$root/resources/chest.ico[0]" "$lib/arkel.png"
  put "$lib/arkel.png" share/icons/hicolor/32x32/apps/arkel.png 644
  rm -f "$lib/arkel.png"
  sed -e "s|@BIN@|$prefix/bin|g" -e "s|@ICON@|$prefix/share/icons/hicolor/32x32/apps/arkel.png|g" \
    "$root/packaging/arkel.desktop" >"$lib/arkel.desktop.tmp"
  put "$lib/arkel.desktop.tmp" share/applications/arkel.desktop 644
  rm -f "$lib/arkel.desktop.tmp"
  printf '%s\n' "${files[@]}" >"$lib/installed.txt"
  echo "install: The Arkel in $prefix; start it with $prefix/bin/arkel"
}

case "${1:-}" in
install) [ $# -eq 4 ] || { echo "usage: install.sh install WIN_BIN_DIR ARKFILE PREFIX" >&2; exit 2; }
  install_all "$2" "$3" "$4" ;;
uninstall) [ $# -eq 2 ] || { echo "usage: install.sh uninstall PREFIX" >&2; exit 2; }
  remove_all "$2" ;;
*) echo "usage: install.sh install|uninstall ..." >&2; exit 2 ;;
esac
