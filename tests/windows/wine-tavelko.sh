#!/usr/bin/env bash
# Starts the Windows program under Wine, as the end-to-end helpers start a
# program: from a shortcut (WINE_TAVELKO_LINK, as a user does from the Start
# menu) or the executable (WINE_TAVELKO_EXE). Wine waits for it to end and
# passes its exit code on.
if [ -n "${WINE_TAVELKO_LINK:-}" ]; then
    exec wine start /wait /unix "$WINE_TAVELKO_LINK"
fi
exec wine "$WINE_TAVELKO_EXE" "$@"
