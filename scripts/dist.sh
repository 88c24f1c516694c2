#!/usr/bin/env bash
# Packs the Windows build into a zip for users: the program, the help viewer and help file,
# arkstore, the read-mes and the third-party notices. Refuses executables that need a DLL beyond
# Windows' own (a compiler runtime that a Windows machine does not have). Reproducible: stripped
# executables, the commit's time on every entry, fixed modes, sorted names, no extra fields, so
# that the same commit gives the same bytes.
#   dist.sh WIN_BUILD_DIR OUT_ZIP
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$1/bin" && pwd)
mkdir -p "$(dirname "$2")"
out="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# The commit's time stands in for every time: in the executables' headers (strip would write the
# current one) and on the zip's entries.
epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
for exe in arkel.exe PegHelp.exe arkstore.exe; do
  SOURCE_DATE_EPOCH=$epoch x86_64-w64-mingw32-strip -o "$stage/$exe" "$bin/$exe"
done
cp "$bin/arkel.htp" "$stage/"
# The read-mes with Windows line ends, for Notepad.
for txt in LIESMICH.txt README.txt THIRD-PARTY-NOTICES.txt; do
  sed 's/$/\r/' "$root/packaging/$txt" >"$stage/$txt"
done

# Only the DLLs of Windows itself.
system='^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|ole32|oleaut32|msvcrt|ws2_32|bcrypt|rpcrt4|shlwapi|version|imm32|winmm|api-ms-win-[a-z0-9-]+)\.dll$'
for exe in "$stage"/*.exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print tolower($3) }'); do
    if ! grep -Eq "$system" <<<"$dll"; then
      echo "dist: $(basename "$exe") needs $dll, which is no DLL of Windows" >&2
      exit 1
    fi
  done
done

chmod 644 "$stage"/*
TZ=UTC touch -d "@$epoch" "$stage"/*
rm -f "$out"
(cd "$stage" && LC_ALL=C ls | TZ=UTC zip -X -D -q -@ "$out")
echo "dist: $out"
