#!/usr/bin/env bash
# Runs the Win32 tests of a build tree under Wine, in the build tree's own prefix.
#
# No persistent wineserver: the first window a test opens starts Wine's desktop process, which
# inherits the test's output pipe and lives as long as the server does; with a persistent server
# CTest would wait for that pipe forever.
set -euo pipefail
build=$1; shift
export WINEPREFIX="$(cd "$build" && pwd)/wineprefix" WINEDEBUG=-all
. "$(dirname "$0")/wine-env.sh"
wine_env "$build"
"$(dirname "$0")/wine-prefix.sh"
ctest --test-dir "$build" --output-on-failure "$@"
