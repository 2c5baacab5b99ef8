#!/usr/bin/env bash
# Renders the icon's PNG sizes and the Windows .ico from the one SVG source.
# Run after editing packaging/linux/icons/tavelko.svg; the results are kept in
# the repository so that building needs neither tool.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null && command -v icotool >/dev/null \
  || { echo "render-icons: needs librsvg2-bin and icoutils" >&2; exit 1; }
svg=packaging/linux/icons/tavelko.svg
pngs=()
for size in 16 24 32 48 64 128 256; do
  out=packaging/linux/icons/tavelko-$size.png
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$out"
  # The largest size goes into the .ico as PNG, as Windows expects.
  if [ "$size" -eq 256 ]; then pngs+=(-r "$out"); else pngs+=("$out"); fi
done
icotool -c -o packaging/windows/tavelko.ico "${pngs[@]}"
