#!/usr/bin/env bash
# Starts the Windows program under Wine, as the end-to-end helpers start a
# program, and lasts as long as the program does: from a shortcut
# (WINE_TAVELKO_LINK, as a user does from the Start menu) or the executable
# (WINE_TAVELKO_EXE), with its exit code passed on.
if [ -n "${WINE_TAVELKO_LINK:-}" ]; then
    # `start` returns once the shortcut's program runs: follow the program.
    timeout -k 2 120 wine start /unix "$WINE_TAVELKO_LINK" || exit
    running() { pgrep -f -i 'Programs.Tavelko.tavelko\.exe' >/dev/null; }
    for _ in $(seq 100); do running && break; sleep 0.1; done
    while running; do sleep 0.1; done
    exit 0
fi
exec wine "$WINE_TAVELKO_EXE" "$@"
