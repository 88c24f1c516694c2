#!/usr/bin/env bash
# make bench-store: stores of 500, 8,000 and 65,535 objects, each measured beside its floors in
# one run (in a Wine prefix of its own, so that it never meets a test's settings): store_bench
# (arkstore load, start-up, selection, memory), vault_bench (the closing and opening passes) and
# exchange_bench (export and import, plain and encrypted).
set -euo pipefail
build=$1; shift
sizes=("${@:-500 8000 65535}")
export WINEPREFIX="$(cd "$build" && pwd)/benchprefix" WINEDEBUG=-all
export FONTCONFIG_FILE="${FONTCONFIG_FILE:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/fonts.conf}"
"$(dirname "$0")/wine-prefix.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%7s  %-28s %11s  %11s  %7s  %s\n' objects measure time floor ratio "floor (target at 65535: ratio <= 2)"
for n in ${sizes[*]}; do
  wine "$build/bin/store_bench.exe" "$n" "$(winepath -w "$work" 2>/dev/null)"
  wine "$build/bin/vault_bench.exe" "$n" "$(winepath -w "$work" 2>/dev/null)"
  ARKEL_BENCH_OBJECTS=$n wine "$build/bin/exchange_bench.exe" | grep -E '^ *[0-9]+  ' || true
done
