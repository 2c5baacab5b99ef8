#!/usr/bin/env bash
# Installs what Tavelko needs on a Debian or Ubuntu machine. Idempotent: when
# every package is present it prints nothing; otherwise it names what each
# group lacks and lets apt show its progress and errors.
#   install-deps.sh            what building and running the program needs
#   install-deps.sh test       also what the tests need (Xvfb, CUPS, ...)
#   install-deps.sh windows    also the Windows cross build (MinGW, NSIS, Wine)
#   install-deps.sh package    also the Linux package checks
# The package groups are read by their names (declare -n) below.
# shellcheck disable=SC2034
set -euo pipefail

build=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libgl-dev libcups2-dev
  qt6-qpa-plugins qt6-translations-l10n libsqlite3-dev libpq-dev
  fonts-arphic-uming fonts-arphic-ukai fontconfig
)
test=(
  xvfb x11-utils x11-apps xdotool xclip libx11-dev
  cups cups-client cups-bsd poppler-utils ghostscript
  at-spi2-core python3-pyatspi dbus strace orca openbox sqlite3
  postgresql-15 postgresql-client-15 postgresql-common
)
# libpq and OpenSSL for Windows are built from Debian's sources (dpkg-dev
# fetches them, perl runs their build scripts); the Windows libpq is then
# tried against the tests' PostgreSQL 15 with a certificate made by openssl.
windows=(
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev nsis wine wine64 zip unzip tcl
  perl make openssl python3
)
package=(desktop-file-utils appstream file lintian)

groups=(build)
for group in "$@"; do
  case "$group" in
    test) groups+=(test) ;;
    windows) groups+=(test windows) ;;
    package) groups+=(package) ;;
    *) echo "install-deps: unknown group '$group' (test, windows, package)" >&2; exit 2 ;;
  esac
done

# What each group lacks, one line per group when anything is missing.
missing=()
plan=()
declare -A seen=()
for group in "${groups[@]}"; do
  [ -n "${seen[$group]:-}" ] && continue
  seen[$group]=1
  declare -n list="$group"
  lacking=()
  for p in "${list[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      lacking+=("$p")
    fi
  done
  unset -n list
  [ ${#lacking[@]} -eq 0 ] && continue
  missing+=("${lacking[@]}")
  plan+=("install-deps: $group: ${lacking[*]}")
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
printf '%s\n' "${plan[@]}" >&2
export DEBIAN_FRONTEND=noninteractive
# apt's own lines show the progress (a fresh machine takes minutes); a lock
# held by another apt or the desktop's updater is waited for, not failed on.
apt=("${SUDO[@]}" apt-get -q -o DPkg::Lock::Timeout=600)
echo "install-deps: updating the package lists" >&2
"${apt[@]}" update
echo "install-deps: installing ${#missing[@]} packages" >&2
"${apt[@]}" install -y --no-install-recommends "${missing[@]}"
echo "install-deps: done" >&2
