#!/usr/bin/env bash
# Runs the Win32 tests of a build tree with one persistent wineserver for the whole run, stopped
# again at the end (it serves only the build tree's own prefix).
set -euo pipefail
build=$1; shift
export WINEPREFIX="$(cd "$build" && pwd)/wineprefix" WINEDEBUG=-all
"$(dirname "$0")/wine-prefix.sh"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
ctest --test-dir "$build" --output-on-failure "$@"
