#!/usr/bin/env bash
# Installs what the build needs when it is missing, then fetches the pinned SQLite amalgamation.
# Quick when everything is there: one dpkg query and one checksum.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake make g++ clang pkg-config
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64
  # What Wine only recommends but the program's look needs: its fonts (Tahoma's stand-in),
  # anti-aliased text and the X extensions it uses.
  fonts-wine fonts-liberation libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1
  libxinerama1 libxfixes3 libgnutls30
  xvfb xdotool x11-utils imagemagick zip unzip
  # The desktop shape's test runs a real window manager; the launcher reads Xft.dpi with xrdb.
  openbox x11-xserver-utils
  # The end-to-end tests read the X clipboard with it.
  xclip
  # The German locale's sources, from which the scripts make de_DE.UTF-8 in the build tree.
  locales
  googletest libgtest-dev libbenchmark-dev libssl-dev libsqlite3-dev
  libclang-rt-14-dev nlohmann-json3-dev
  # arkfile reads KeePass XML with expat.
  libexpat1-dev
)
# Wanted by tests but not needed to build: arkfile's round trips through KeePassXC. If it cannot
# be installed, those tests say that they are skipped.
OPTIONAL=(keepassxc)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# npm fetches SQLite; a machine may have it from Node.js rather than from Debian.
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  SUDO=
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
for p in "${OPTIONAL[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    echo "deps: installing $p (optional)"
    SUDO=
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    { $SUDO apt-get install -y -qq --no-install-recommends "$p" >/dev/null 2>&1 ||
      { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends "$p" >/dev/null; }; } ||
      echo "deps: $p could not be installed; the tests that need it will be skipped"
  fi
done

# SQLite is not in Debian as an amalgamation for mingw; take the one that better-sqlite3 ships,
# pinned by package version and by the checksum of the tarball.
SQLITE_PKG=better-sqlite3@12.11.1
SQLITE_TGZ_SHA256=ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835
DEST=build/deps/sqlite
if [ ! -f "$DEST/sqlite3.c" ] || [ ! -f "$DEST/.sha256" ] || [ "$(cat "$DEST/.sha256")" != "$SQLITE_TGZ_SHA256" ]; then
  echo "deps: fetching SQLite from $SQLITE_PKG"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  (cd "$tmp" && npm pack --silent "$SQLITE_PKG" >/dev/null)
  tgz=$(ls "$tmp"/*.tgz)
  echo "$SQLITE_TGZ_SHA256  $tgz" | sha256sum -c --quiet -
  tar -xzf "$tgz" -C "$tmp" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
  mkdir -p "$DEST"
  cp "$tmp/package/deps/sqlite3/sqlite3.c" "$tmp/package/deps/sqlite3/sqlite3.h" "$DEST/"
  echo "$SQLITE_TGZ_SHA256" > "$DEST/.sha256"
fi
