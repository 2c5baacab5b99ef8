#!/usr/bin/env bash
# The Linux package as a user gets it: lintian finds no error or warning, its
# desktop entry and metainfo validate, `apt-get install` takes it, the installed program answers
# --version without a display, and the command of its desktop entry opens the
# welcome window (with its icon) under Xvfb.
# Run by `make test` after the package is built (needs root or sudo). A
# package that was not installed before the test is removed again.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD:-$root/build}

export TAVELKO=/usr/bin/tavelko
export E2E_XHELPER=$build/tests/e2e/e2e_xhelper
export E2E_OUTPUT=$build/tests/package-output
. "$root/tests/e2e/lib.sh"

deb=$(ls -t "$root"/dist/tavelko_*.deb | head -n1)
[ -f "$deb" ] || fail "no package in dist/: run make package"
SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo)

note "lintian finds no error or warning"
# Every outside tool has a time limit (limited, from lib.sh); apt-get may
# wait on another's dpkg lock, lintian takes a while.
limited 600 lintian --pedantic --fail-on error,warning "$deb" || fail "lintian rejects $deb"

was_installed=false
dpkg-query -W -f='${Status}' tavelko 2>/dev/null | grep -q 'install ok installed' && was_installed=true
leave_as_found() {
    if ! $was_installed; then
        DEBIAN_FRONTEND=noninteractive limited 300 "${SUDO[@]}" apt-get purge -y -qq tavelko >/dev/null 2>&1 \
            || echo "package: could not remove tavelko again" >&2
    fi
}
trap leave_as_found EXIT

note "install $deb"
DEBIAN_FRONTEND=noninteractive limited 300 "${SUDO[@]}" apt-get install -y -qq --reinstall "$deb" >/dev/null 2>&1 \
    || DEBIAN_FRONTEND=noninteractive limited 300 "${SUDO[@]}" apt-get install -y -qq --reinstall "$deb" \
    || fail "apt-get could not install $deb"
dpkg -s tavelko | grep -q "^Version: $(dpkg-deb -f "$deb" Version)\$" || fail "the installed version is not the package's"

note "the installed desktop files validate"
desktop=/usr/share/applications/io.github.tavelko.tavelko.desktop
limited "$TOOL_LIMIT" desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
metainfo=/usr/share/metainfo/io.github.tavelko.tavelko.metainfo.xml
verdict=$(limited 60 appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) \
    && ! grep -q '^[EWIP]:' <<<"$verdict" || fail "appstreamcli finds fault with the metainfo: $verdict"
for f in /usr/share/icons/hicolor/scalable/apps/tavelko.svg /usr/share/icons/hicolor/48x48/apps/tavelko.png \
         /usr/share/doc/tavelko/copyright /usr/share/doc/tavelko/changelog.gz /usr/share/man/man1/tavelko.1.gz; do
    [ -s "$f" ] || fail "$f is not installed"
done

note "--version and --help need no display"
version=$(limited "$TOOL_LIMIT" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/tavelko --version)
[ "$version" = "Tavelko $(dpkg-deb -f "$deb" Version)" ] || fail "--version printed '$version'"
limited "$TOOL_LIMIT" env -u DISPLAY /usr/bin/tavelko --help | grep -q '^Usage: tavelko' || fail "--help has no English usage"

note "the desktop entry's command opens the welcome window"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
TAVELKO=$(command -v "${exec_line%% *}") || fail "the desktop entry's command '$exec_line' is not on PATH"
e2e_begin package
package_cleanup() {
    local status=$?
    leave_as_found
    e2e_cleanup "$status"
}
trap package_cleanup EXIT
start_app
# The icon is handed to the window system just after the first frame.
welcome_icon() {
    icon=$(xprop -id "$WELCOME" _NET_WM_ICON 2>&1) || true
    icon=${icon%%$'\n'*}
    [[ "$icon" == "_NET_WM_ICON(CARDINAL) = "* ]]
}
poll_until 10 "the welcome window's icon" welcome_icon ||
    fail "the welcome window shows no icon: $icon"
quit_app
note "package: passed"
