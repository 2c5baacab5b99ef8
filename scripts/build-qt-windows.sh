#!/usr/bin/env bash
# Builds Qt for Windows (x86_64, MinGW-w64) from Debian's own qt6-base source
# package, the same version as the host's Qt, whose tools (moc, rcc, uic) the
# cross build uses. The result is cached and reused:
#   ${XDG_CACHE_HOME:-~/.cache}/tavelko/qt-<version>-mingw64
# The first build takes most of an hour on two cores; meanwhile it tells on
# standard error, once a minute, how many of the build's steps are done.
# Afterwards this script returns at once. Prints the prefix of the finished
# Qt on its last line.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"

# show_progress LOG [SECONDS]: until this script ends (or is killed), prints
# ninja's count of finished steps from the last "[n/N]" line of LOG to
# standard error every SECONDS (60), e.g. "build-qt-windows: 1234/5678 steps".
show_progress() {
  local log=$1 every=${2:-60} script=$$ waited step
  while :; do
    for ((waited = 0; waited < every; waited++)); do
      sleep 1
      kill -0 "$script" 2>/dev/null || return 0
    done
    step=$(tac "$log" 2>/dev/null | grep -m1 -o '^\[[0-9]*/[0-9]*\]' || true)
    [ -z "$step" ] || echo "build-qt-windows: ${step:1:-1} steps" >&2
  done
}

bash "$here/install-deps.sh" windows

version="$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/+.*//')"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavelko"
prefix="$cache/qt-$version-mingw64"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work="$cache/qt-$version-src"
mkdir -p "$work"
host_prefix=/usr
host_cmake="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake"

# The source, fetched with a private apt configuration so that the machine's
# own sources and lists stay untouched.
if [ ! -d "$work/src" ]; then
  apt_dir="$work/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/dl"
  echo "deb-src http://deb.debian.org/debian bookworm main" > "$apt_dir/sources.list"
  apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
  echo "build-qt-windows: fetching the qt6-base source package" >&2
  apt-get "${apt_opts[@]}" update -qq
  (cd "$work/dl" && apt-get "${apt_opts[@]}" source --download-only "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev)")
  orig="$(ls "$work"/dl/qt6-base_*.orig.tar.* | head -1)"
  rm -rf "$work/src.tmp" && mkdir -p "$work/src.tmp"
  tar -xf "$orig" -C "$work/src.tmp" --strip-components=1
  mv "$work/src.tmp" "$work/src"
fi

echo "build-qt-windows: configuring and building Qt $version for Windows (this takes a while;" \
     "the full log: $work/build/build.log)" >&2
# An interrupted build picks up where it stopped.
mkdir -p "$work/build"
cd "$work/build"
cmake -S "$work/src" -B . -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH="$host_prefix" \
  -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_concurrent=OFF \
  -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  > configure.log 2>&1 || { tail -40 configure.log >&2; exit 1; }
show_progress "$work/build/build.log" >&2 &
progress=$!
built=0
cmake --build . --parallel "$(nproc)" > build.log 2>&1 || built=$?
kill "$progress" 2>/dev/null || true
wait "$progress" 2>/dev/null || true
if [ "$built" -ne 0 ]; then
  tail -60 build.log >&2
  echo "build-qt-windows: the build failed; the full log: $work/build/build.log" >&2
  exit 1
fi
cmake --install . > install.log 2>&1 || { tail -40 install.log >&2; exit 1; }
touch "$prefix/.complete"
echo "$prefix"
