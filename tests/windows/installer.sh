#!/usr/bin/env bash
# The Windows installer and uninstaller under Wine, with a stand-in program
# folder (a tavelko.exe that only holds the program's running mutex), so that
# it needs no Qt for Windows: the install for one user and for all users, the
# uninstall entry, the shortcuts, the optional desktop shortcut, the refusal
# while Tavelko runs and on Windows older than 10, and the uninstallers.
# Wine runs every program as administrator: the all-users install is what the
# installer does by default there, the per-user one is asked for with
# /CurrentUser. What Wine cannot show: the UAC prompt of an all-users
# uninstaller started by a user without administrator rights.
#   bash tests/windows/installer.sh   (scripts/windows.sh test runs it too)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tavelko-installer.XXXXXX")
# An X server of its own: Wine needs a display even for a silent install.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    local status=$?
    timeout -k 2 20 wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "--- $*" >&2; }
poll_until() {  # SECONDS COMMAND...
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}
# Every outside tool has a time limit, so that one that hangs fails the test
# in seconds rather than holding the run up; Wine's get more, an installer's
# run longer still.
limited() {  # SECONDS COMMAND...
    local seconds=$1; shift
    timeout -k 2 "$seconds" "$@"
}
WINE_LIMIT=60
wine() { limited "$WINE_LIMIT" wine "$@"; }
winepath() { limited "$WINE_LIMIT" winepath "$@"; }
wineserver() { limited "$WINE_LIMIT" wineserver "$@"; }
wineboot() { limited "$WINE_LIMIT" wineboot "$@"; }

poll_until 30 test -s "$work/display" || fail "Xvfb did not start"
DISPLAY=:$(cat "$work/display")
export DISPLAY

note "the installer, around a stand-in program"
mkdir -p "$work/program/platforms"
limited 120 x86_64-w64-mingw32-gcc -municode -O2 -o "$work/program/tavelko.exe" "$root/tests/windows/stand_in.c"
echo stand-in >"$work/program/Qt6Core.dll"
echo stand-in >"$work/program/platforms/qwindows.dll"
setup=$work/Tavelko-setup.exe
limited 120 makensis -V2 -INPUTCHARSET UTF8 -DVERSION=1.1.0 -DPROGRAM_DIR="$work/program" -DOUT_FILE="$setup" \
    -DICON_FILE="$root/packaging/windows/tavelko.ico" "$root/packaging/windows/tavelko.nsi" >"$work/makensis.log" \
    || { cat "$work/makensis.log" >&2; fail "makensis failed"; }
limited 600 wineboot -i >/dev/null 2>&1 || fail "wineboot failed"
# Debian's Wine calls itself Windows 7 unless told otherwise.
wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
wineserver -w

drive=$WINEPREFIX/drive_c
for user_dir in "$drive"/users/*; do [ "${user_dir##*/}" != Public ] && break; done
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavelko'

# entry ROOT NAME: a value of the uninstall entry under HKCU or HKLM, or nothing.
entry() {
    wine reg query "$1\\$key" /v "$2" 2>/dev/null | tr -d '\r' \
        | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# expect_install ROOT FOLDER START_MENU_LINK DESKTOP_LINK: what an install leaves.
expect_install() {
    local f
    for f in tavelko.exe uninstall.exe Qt6Core.dll platforms/qwindows.dll; do
        [ -f "$2/$f" ] || fail "no $2/$f"
    done
    [ -f "$3" ] || fail "no Start-menu shortcut $3"
    [ -f "$4" ] || fail "no desktop shortcut $4"
    [ "$(entry "$1" DisplayIcon)" = "$(winepath -w "$2/tavelko.exe")" ] || fail "$1: DisplayIcon is '$(entry "$1" DisplayIcon)'"
    [[ "$(entry "$1" EstimatedSize)" =~ ^0x[0-9a-f]+$ ]] && [ "$(($(entry "$1" EstimatedSize)))" -gt 0 ] \
        || fail "$1: EstimatedSize is '$(entry "$1" EstimatedSize)'"
    [ -n "$(entry "$1" UninstallString)" ] || fail "$1: no UninstallString"
}
# uninstall FOLDER: runs its uninstaller in place, so that its exit code is
# the uninstall's (a folder with a space in its name comes to the uninstaller
# quoted, which it does not take for in place: it then runs on from a copy).
uninstall() {
    limited 300 wine "$1/uninstall.exe" /S "_?=$(winepath -w "$1")" >/dev/null 2>&1
}
# expect_uninstalled ROOT FOLDER LINK...: the uninstall left none of it.
expect_uninstalled() {
    local root=$1 folder=$2 f; shift 2
    poll_until 60 test ! -e "$folder/tavelko.exe" || fail "the uninstaller left tavelko.exe"
    poll_until 60 test -z "$(entry "$root" DisplayName)" || fail "the uninstaller left the entry under $root"
    # Run in place, it cannot remove itself nor, therefore, its folder.
    rm -f "$folder/uninstall.exe"
    [ -z "$(ls -A "$folder" 2>/dev/null)" ] || fail "the uninstaller left $(ls -R "$folder")"
    for f in "$@"; do [ ! -e "$f" ] || fail "the uninstaller left $f"; done
    [ -z "$(entry "$root" DisplayName)" ] || fail "the uninstaller left the entry under $root"
}

note "for this user (/CurrentUser): the user's own program folder and entry"
mine=$user_dir/AppData/Local/Programs/Tavelko
my_menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tavelko.lnk"
my_desktop=$user_dir/Desktop/Tavelko.lnk
limited 300 wine "$setup" /S /CurrentUser >/dev/null 2>&1 || fail "the per-user install failed"
expect_install HKCU "$mine" "$my_menu" "$my_desktop"
[ -z "$(entry HKLM DisplayName)" ] || fail "a per-user install wrote an all-users entry"

note "again with /NoDesktopShortcut: an upgrade that takes the desktop shortcut away"
limited 300 wine "$setup" /S /CurrentUser /NoDesktopShortcut >/dev/null 2>&1 || fail "the upgrade failed"
[ ! -e "$my_desktop" ] || fail "/NoDesktopShortcut left the desktop shortcut"
[ -f "$mine/tavelko.exe" ] || fail "the upgrade lost tavelko.exe"

note "while Tavelko runs, a silent install and uninstall give up with exit code 2"
# Started from elsewhere (the zip's folder, say), it is found by its mutex.
# (timeout itself in the background, so that `wait` below has a limit too)
timeout -k 2 900 wine "$work/program/tavelko.exe" "$(winepath -w "$work/ready")" "$(winepath -w "$work/stop")" >/dev/null 2>&1 &
stand_in=$!
poll_until 30 test -e "$work/ready" || fail "the stand-in did not start"
rm -f "$mine/Qt6Core.dll"
status=0; limited 300 wine "$setup" /S /CurrentUser >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "the installer over a running Tavelko ended with $status"
[ ! -e "$mine/Qt6Core.dll" ] || fail "the installer wrote files while Tavelko ran"
status=0; uninstall "$mine" || status=$?
[ "$status" -eq 2 ] || fail "the uninstaller of a running Tavelko ended with $status"
[ -f "$mine/tavelko.exe" ] || fail "the uninstaller removed files while Tavelko ran"
touch "$work/stop"
wait "$stand_in" || true

note "uninstall for this user"
uninstall "$mine" || fail "the per-user uninstall failed"
expect_uninstalled HKCU "$mine" "$my_menu"

note "as administrator (Wine's default): Program Files, all users' shortcuts, HKLM"
all=$drive/Program\ Files/Tavelko
all_menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavelko.lnk"
all_desktop=$drive/users/Public/Desktop/Tavelko.lnk
limited 300 wine "$setup" /S >/dev/null 2>&1 || fail "the all-users install failed"
expect_install HKLM "$all" "$all_menu" "$all_desktop"
[ -z "$(entry HKCU DisplayName)" ] || fail "an all-users install wrote a per-user entry"
uninstall "$all" || fail "the all-users uninstall failed"
expect_uninstalled HKLM "$all" "$all_menu" "$all_desktop"

note "on Windows 7 the installer refuses"
wine reg add 'HKCU\Software\Wine' /v Version /d win7 /f >/dev/null 2>&1
wineserver -w
status=0; limited 300 wine "$setup" /S >/dev/null 2>&1 || status=$?
# ERROR_OLD_WIN_VERSION (1150), cut to the 8 bits of a Unix exit status.
[ "$status" -eq $((1150 % 256)) ] || fail "on Windows 7 the installer ended with $status"
[ ! -e "$all/tavelko.exe" ] && [ ! -e "$mine/tavelko.exe" ] || fail "on Windows 7 the installer installed"
note "installer: passed"
