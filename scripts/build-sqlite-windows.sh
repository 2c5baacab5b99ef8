#!/usr/bin/env bash
# Makes SQLite's one-file amalgamation (sqlite3.c, sqlite3.h) for the Windows
# build from Debian's own sqlite3 source package, the version the Linux build
# links. The Windows build compiles it into the program with MinGW. The result
# is cached and reused:
#   ${XDG_CACHE_HOME:-~/.cache}/tavelko/sqlite-<version>-amalgamation
# Needs no Windows Qt. Prints the folder on its last line.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

bash "$here/install-deps.sh" windows

version="$(dpkg-query -W -f='${Version}' libsqlite3-dev)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavelko"
out="$cache/sqlite-${version//[:+~]/_}-amalgamation"
if [ -f "$out/.complete" ]; then
  echo "$out"
  exit 0
fi

work="$cache/sqlite-src"
mkdir -p "$work"
# The source, fetched with a private apt configuration so that the machine's
# own sources and lists stay untouched.
if [ ! -d "$work/src-$version" ]; then
  apt_dir="$work/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  rm -rf "$work/dl" && mkdir -p "$work/dl"
  echo "deb-src http://deb.debian.org/debian bookworm main" > "$apt_dir/sources.list"
  echo "deb-src http://deb.debian.org/debian-security bookworm-security main" >> "$apt_dir/sources.list"
  echo "deb-src http://deb.debian.org/debian bookworm-updates main" >> "$apt_dir/sources.list"
  apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
  echo "build-sqlite-windows: fetching the sqlite3 source package" >&2
  apt-get "${apt_opts[@]}" update -qq
  (cd "$work/dl" && apt-get "${apt_opts[@]}" source --download-only -qq "sqlite3=$version")
  # Debian's patches (its security fixes among them) applied as Debian does.
  rm -rf "$work/src.tmp" && mkdir -p "$work/src.tmp"
  dpkg-source --no-check -x "$(ls "$work"/dl/sqlite3_*.dsc | head -1)" "$work/src.tmp/sqlite3" >/dev/null
  mv "$work/src.tmp/sqlite3" "$work/src-$version" && rm -rf "$work/src.tmp"
fi

echo "build-sqlite-windows: making the amalgamation" >&2
build="$work/build-$version"
rm -rf "$build" && mkdir -p "$build"
cd "$build"
"$work/src-$version/configure" --disable-tcl > configure.log 2>&1 || { tail -30 configure.log >&2; exit 1; }
make sqlite3.c > make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
rm -rf "$out" && mkdir -p "$out"
cp sqlite3.c sqlite3.h sqlite3ext.h "$out/"
touch "$out/.complete"
echo "$out"
