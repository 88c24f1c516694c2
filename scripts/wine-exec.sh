#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests: a private prefix (WINEPREFIX, set by CTest to
# one inside the build tree), made once; quiet; a display of its own when none is set.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
if [ -z "${DISPLAY:-}" ]; then
  exec "$here/with-display.sh" "$0" "$@"
fi
export WINEPREFIX
# The test prefix lies in the build tree (build/win/wineprefix).
. "$here/wine-env.sh"
wine_env "$(dirname "$WINEPREFIX")"
"$here/wine-prefix.sh"
exec wine "$@"
