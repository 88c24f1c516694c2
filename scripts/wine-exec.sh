#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests: a private prefix (WINEPREFIX, set by CTest to
# one inside the build tree), made once; quiet; a display of its own when none is set.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
if [ -z "${DISPLAY:-}" ]; then
  exec "$here/with-display.sh" "$0" "$@"
fi
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}"
# Wine finds its own TrueType fonts (Tahoma, Marlett) only through fontconfig.
export FONTCONFIG_FILE="${FONTCONFIG_FILE:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/fonts.conf}"
"$here/wine-prefix.sh"
exec wine "$@"
