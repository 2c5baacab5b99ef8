#!/usr/bin/env bash
# Installs everything that building, running and testing Tavelko needs on a
# Debian machine. Idempotent: when every package is present it prints nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config libcups2-dev
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libgl-dev
  qt6-qpa-plugins qt6-translations-l10n
  xvfb x11-utils x11-apps xdotool xclip libx11-dev
  cups cups-client cups-bsd poppler-utils
  fonts-arphic-uming fonts-arphic-ukai fontconfig
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
