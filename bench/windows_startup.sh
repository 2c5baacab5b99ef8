#!/usr/bin/env bash
# Start-up to the welcome window: the Windows build under Wine next to the
# Linux build, on one X server, in one run; and the size of the Windows
# program folder. A benchmark, not a test: it reports, it does not judge.
#   TAVELKO_WIN     the Windows program folder's tavelko.exe
#   TAVELKO_LINUX   the Linux build's tavelko
#   E2E_XHELPER, E2E_OUTPUT as for the end-to-end cases
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export TAVELKO=$TAVELKO_LINUX
. "$here/../tests/e2e/lib.sh"
e2e_begin bench-windows
export WINEPREFIX=$E2E_DIR/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p   # the Wine server stays up between starts, as on a running desktop
wine_cleanup() {
    local status=$?
    wineserver -k 2>/dev/null || true
    e2e_cleanup "$status"
}
trap wine_cleanup EXIT

runs=${BENCH_RUNS:-5}
# start_times: milliseconds from launch to the welcome window, one per run.
start_times() {
    local i t0
    for ((i = 0; i < runs; i++)); do
        t0=$(date +%s%N)
        start_app
        echo $((($(date +%s%N) - t0) / 1000000))
        quit_app
    done
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

start_app; quit_app   # warm the caches and the Wine prefix once
linux=$(start_times | median)
export TAVELKO=$here/../tests/windows/wine-tavelko.sh WINE_TAVELKO_EXE=$TAVELKO_WIN
start_app; quit_app
wine=$(start_times | median)
size=$(du -sk "$(dirname "$TAVELKO_WIN")" | cut -f1)

printf 'start-up to the welcome window (median of %d)\n' "$runs"
printf '  Linux build           %6d ms\n' "$linux"
printf '  Windows build, Wine   %6d ms\n' "$wine"
printf 'Windows program folder  %6d KiB (%s)\n' "$size" "$(dirname "$TAVELKO_WIN")"
