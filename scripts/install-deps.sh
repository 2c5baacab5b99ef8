#!/usr/bin/env bash
# Installs what Tavelko needs on a Debian or Ubuntu machine. Idempotent: when
# every package is present it prints nothing.
#   install-deps.sh            what building and running the program needs
#   install-deps.sh test       also what the tests need (Xvfb, CUPS, ...)
#   install-deps.sh windows    also the Windows cross build (MinGW, NSIS, Wine)
#   install-deps.sh package    also the Linux package checks
set -euo pipefail

build=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libgl-dev libcups2-dev
  qt6-qpa-plugins qt6-translations-l10n libsqlite3-dev
  fonts-arphic-uming fonts-arphic-ukai fontconfig
)
test=(
  xvfb x11-utils x11-apps xdotool xclip libx11-dev
  cups cups-client cups-bsd poppler-utils ghostscript
)
windows=(
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev nsis wine wine64 zip unzip tcl
)
package=(desktop-file-utils appstream file)

packages=("${build[@]}")
for group in "$@"; do
  case "$group" in
    test) packages+=("${test[@]}") ;;
    windows) packages+=("${test[@]}" "${windows[@]}") ;;
    package) packages+=("${package[@]}") ;;
    *) echo "install-deps: unknown group '$group' (test, windows, package)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: this machine has no apt-get. Tavelko builds on Debian or Ubuntu;" >&2
  echo "install-deps: install these packages, or their equivalents: ${missing[*]}" >&2
  exit 1
fi
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=(sudo)
  else
    echo "install-deps: these packages are missing and installing them needs root:" >&2
    echo "  ${missing[*]}" >&2
    echo "install-deps: run as root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq >/dev/null
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
