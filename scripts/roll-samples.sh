#!/usr/bin/env bash
# Renders a receipt, its reprint, a 交班单, a 日结 and a kitchen ticket on
# 58 mm and 80 mm rolls at 203 dpi, through the same painting as the
# printer, into PNG files to look at.
#   scripts/roll-samples.sh [FOLDER]   (default: build/roll-samples)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
out=${1:-$build/roll-samples}
cmake --build "$build" --target roll_samples >/dev/null
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen timeout 60 "$build/bench/roll_samples" "$out"
ls "$out"/*.png
