# Shared helpers of the end-to-end cases, sourced by every case script.
#
# A case runs the real tavelko binary on an X server of its own (Xvfb), with
# a settings folder, runtime folder and home of its own, and drives it the way
# a cashier would: mouse clicks at the designed positions, typed text, the
# clipboard. Everything a case starts is stopped again by the EXIT trap, pass
# or fail.
#
# From CMake (see CMakeLists.txt):
#   TAVELKO        the program under test
#   E2E_XHELPER    helpers/xhelper.cpp: WM_DELETE_WINDOW, pixels of xwd files
#   E2E_JOB_SINK   helpers/job_sink.cpp: a network printer that keeps each job
#   E2E_OUTPUT     folder for screenshots and, after a failure, logs

# The design positions below are used by the case scripts that source this.
# shellcheck disable=SC2034
set -euo pipefail

E2E_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=cups.sh
. "$E2E_HERE/cups.sh"

TWIPS_PER_PIXEL=15

# ---------------------------------------------------------------------------
# Failing, polling, processes

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

note() {
    echo "--- $*" >&2
}

# poll_until SECONDS WHAT COMMAND...: runs COMMAND until it succeeds; after
# SECONDS it gives up with a message naming WHAT and returns 1.
poll_until() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    while :; do
        if "$@"; then
            return 0
        fi
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "timed out after ${seconds}s waiting for $what" >&2
            return 1
        fi
        sleep 0.05
    done
}

# True while the process lives (a zombie counts as ended).
process_alive() {
    local pid=$1 state
    [ -r "/proc/$pid/stat" ] || return 1
    state=$(sed 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | cut -c1) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

process_ended() {
    ! process_alive "$1"
}

# Stops one process we started: TERM, a grace period, then KILL.
stop_process() {
    local pid=$1
    [ -n "$pid" ] || return 0
    process_alive "$pid" || { wait "$pid" 2>/dev/null || true; return 0; }
    kill -TERM "$pid" 2>/dev/null || true
    poll_until 5 "process $pid to stop" process_ended "$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Looks on PATH only: the time-limited functions below take the tools' names.
require_tools() {
    local tool
    for tool in "$@"; do
        type -P "$tool" >/dev/null 2>&1 \
            || fail "$tool is missing: run scripts/install-deps.sh (make test does)"
    done
}

# ---------------------------------------------------------------------------
# Time limits
#
# Every outside tool a case calls has a time limit: one that hangs fails the
# case in seconds instead of holding the run up until CI gives up. xclip -o
# waits forever when the clipboard's owner (Wine) does not answer; an X,
# CUPS or D-Bus client waits on a server that is stuck. The functions below
# take the tools' names, so every call in this file and in the cases is
# limited; a call that may take longer says so with `limited SECONDS ...`.
# A tool stopped at its limit fails (exit status 124 or 137): a poll tries it
# again, any other caller fails the case as for any failure of the tool.

TOOL_LIMIT=${E2E_TOOL_LIMIT:-30}   # seconds; a working tool takes one or less
CLIPBOARD_LIMIT=5                  # xclip: its hazard is known, its callers try again

# limited SECONDS COMMAND...: COMMAND (a program, not a function), stopped
# after SECONDS, and killed 2 s later if it ignores that.
limited() {
    local seconds=$1
    shift
    timeout -k 2 "$seconds" "$@"
}

for tool in xdotool xwininfo xwd xdpyinfo xprop dbus-send \
    lp lpstat lpadmin cancel cupsenable cupsdisable cupsaccept cupsreject \
    pdftotext pdfinfo ps2pdf iconv; do
    eval "$tool() { limited \"\$TOOL_LIMIT\" $tool \"\$@\"; }"
done
unset tool
xclip() { limited "$CLIPBOARD_LIMIT" xclip "$@"; }

# The program's command line (--takings, --export-takings...): it answers at once.
tavelko_cli() { limited "$TOOL_LIMIT" "$TAVELKO" "$@"; }
# The test's own X helper (e2e_xhelper): close, ink, pixel answer at once.
xhelper() { limited "$TOOL_LIMIT" "$E2E_XHELPER" "$@"; }

# ---------------------------------------------------------------------------
# Setting up and tearing down a case

E2E_DIR=
XVFB_PID=
ROOT_WINDOW=
APP_PID=
APP_RUNS=0

e2e_begin() {
    E2E_CASE=$1
    [ -n "${TAVELKO:-}" ] && [ -x "$TAVELKO" ] || fail "TAVELKO does not name the built program: ${TAVELKO:-unset}"
    [ -n "${E2E_XHELPER:-}" ] && [ -x "$E2E_XHELPER" ] || fail "E2E_XHELPER is not built: ${E2E_XHELPER:-unset}"
    [ -n "${E2E_OUTPUT:-}" ] || fail "E2E_OUTPUT is not set"
    require_tools Xvfb xdpyinfo xdotool xclip xwininfo xwd

    rm -rf "$E2E_OUTPUT"
    mkdir -p "$E2E_OUTPUT"
    E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tavelko-e2e-$E2E_CASE.XXXXXX")
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM HUP
    chmod 755 "$E2E_DIR"
    mkdir -p "$E2E_DIR/config" "$E2E_DIR/runtime" "$E2E_DIR/home" "$E2E_DIR/logs"
    chmod 700 "$E2E_DIR/runtime"

    # The program sees nothing of the machine's own session.
    export LC_ALL=C.UTF-8 LANG=C.UTF-8   # xdotool type needs a UTF-8 locale for Chinese
    export HOME=$E2E_DIR/home
    export XDG_CONFIG_HOME=$E2E_DIR/config
    export XDG_RUNTIME_DIR=$E2E_DIR/runtime
    export XDG_CACHE_HOME=$E2E_DIR/home/.cache
    export XDG_DATA_HOME=$E2E_DIR/home/.local/share
    export QT_QPA_PLATFORM=xcb
    unset PRINTER LPDEST CUPS_SERVER DBUS_SESSION_BUS_ADDRESS QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS \
        QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI WAYLAND_DISPLAY

    start_xvfb
}

# e2e_cleanup [STATUS]: the case's exit status, when a trap of the case's own
# ran something before calling this.
e2e_cleanup() {
    local status=${1:-$?}
    trap - EXIT INT TERM HUP
    set +e
    if [ "$status" -ne 0 ] && [ -n "${DISPLAY:-}" ] && [ -n "$XVFB_PID" ]; then
        # What the screen showed when the case failed, and what was logged.
        xwd -root -silent -out "$E2E_OUTPUT/failure-screen.xwd" 2>/dev/null
        visible_windows >"$E2E_OUTPUT/failure-windows.txt" 2>/dev/null
    fi
    stop_process "$APP_PID"
    cups_stop
    stop_process "$XVFB_PID"
    if [ "$status" -ne 0 ] && [ -n "$E2E_DIR" ]; then
        cp -r "$E2E_DIR/logs" "$E2E_OUTPUT/" 2>/dev/null
        [ -n "${CUPS_DIR:-}" ] && cp -r "$CUPS_DIR/log" "$E2E_OUTPUT/cups-log" 2>/dev/null
        find "$E2E_DIR/config" -type f -exec cp {} "$E2E_OUTPUT/" \; 2>/dev/null
        echo "logs and a screenshot of the failure are in $E2E_OUTPUT" >&2
    fi
    [ -n "$E2E_DIR" ] && rm -rf "$E2E_DIR"
    exit "$status"
}

# Xvfb picks a free display itself (-displayfd) and reports its number.
start_xvfb() {
    local number_file=$E2E_DIR/display
    : >"$number_file"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp \
        3>"$number_file" >"$E2E_DIR/logs/xvfb.log" 2>&1 &
    XVFB_PID=$!
    poll_until 30 "Xvfb to choose a display" grep -q '^[0-9]' "$number_file" \
        || fail "Xvfb did not start: $(cat "$E2E_DIR/logs/xvfb.log")"
    DISPLAY=:$(head -n1 "$number_file" | tr -dc 0-9)
    export DISPLAY
    poll_until 30 "the X server on $DISPLAY" xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 \
        || fail "X server $DISPLAY does not answer"
    ROOT_WINDOW=$(($(xwininfo -root | sed -n 's/^.*Window id: \(0x[0-9a-fA-F]*\).*$/\1/p')))
}

# ---------------------------------------------------------------------------
# Screen readers: a private session bus with the AT-SPI bus on it

DBUS_PID=
A11Y_BUS_PID=

a11y_bus_up() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1
}

# Starts a session bus of the case's own and the AT-SPI bus on it, and exports
# DBUS_SESSION_BUS_ADDRESS; stop_a11y_bus stops both.
start_a11y_bus() {
    require_tools dbus-daemon dbus-send
    local launcher= candidate
    for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
        [ -x "$candidate" ] && launcher=$candidate && break
    done
    [ -n "$launcher" ] || fail "at-spi-bus-launcher is missing: install at-spi2-core"
    : >"$E2E_DIR/bus-address"
    dbus-daemon --session --nofork --nopidfile --print-address=3 \
        3>"$E2E_DIR/bus-address" >"$E2E_DIR/logs/dbus.log" 2>&1 &
    DBUS_PID=$!
    poll_until 20 "the session bus" grep -q . "$E2E_DIR/bus-address" || fail "no session bus"
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$E2E_DIR/bus-address")
    export DBUS_SESSION_BUS_ADDRESS
    "$launcher" --launch-immediately >"$E2E_DIR/logs/at-spi-bus.log" 2>&1 &
    A11Y_BUS_PID=$!
    poll_until 20 "the AT-SPI bus" a11y_bus_up || fail "the AT-SPI bus did not start"
}

stop_a11y_bus() {
    stop_process "$A11Y_BUS_PID"
    stop_process "$DBUS_PID"
    A11Y_BUS_PID=
    DBUS_PID=
}

# ---------------------------------------------------------------------------
# Design positions, in twips from the top-left corner of a client area:
# LEFT TOP WIDTH HEIGHT, as the windows are designed.

WELCOME_SIZE=392x602
MAIN_SIZE=769x413
SHEET_SIZE=973x399

MENU_BUTTON=(240 840 5415 8055)           # welcome window: "菜单"

CATEGORY_LEFTS=(240 1530 2820 4110 5400 6690)   # main window: C1 C2 C3 c4 c5 c6
RESET_ALL=(3960 4920 2325 1245)           # "一键归零"
MAIN_CLOSE=(6720 4920 1245 1245)          # "关闭" (Cm4)
MAKE_BILL=(8280 4920 975 1215)            # "清单"
COPY_BILL=(9360 4920 975 1215)            # "复制"
PRINT_BILL=(10440 4920 975 1215)          # "打印"

HOLD=(8280 3600 975 600)                  # "挂单", "取单" and "下单", above "结账"
RECALL=(9360 3600 975 600)
KITCHEN=(10440 3600 975 600)
CHECKOUT=(8280 4260 2205 600)             # "结账", above "清单", "复制", "打印"

SETTLE=(12960 120 1455 1455)              # order sheet: "结算"
CLEAR=(12960 2280 1455 1455)              # "清零"
SHEET_CLOSE=(12960 4440 1455 1455)        # "关闭"

# category_button N: the design rectangle of category button N (1 to 6).
category_button() {
    echo "${CATEGORY_LEFTS[$(($1 - 1))]} 960 1290 2865"
}

# Dish rows 1 to 7 fill the left half of a sheet, 8 to 14 the right half,
# 840 twips apart; the right half lies 5040 twips further right.
row_left() { if [ "$1" -le 7 ]; then echo 0; else echo 5040; fi; }
row_top() { echo $((480 + (($1 - 1) % 7) * 840)); }

# ---------------------------------------------------------------------------
# The program

WELCOME=

# Starts the program and waits for the welcome window; its id goes to WELCOME.
start_app() {
    APP_RUNS=$((APP_RUNS + 1))
    "$TAVELKO" >"$E2E_DIR/logs/tavelko-$APP_RUNS.log" 2>&1 &
    APP_PID=$!
    WELCOME=$(wait_window '^Tavelko$')
}

app_running() {
    [ -n "$APP_PID" ] && process_alive "$APP_PID"
}

# Waits for the program to end by itself and checks its exit code.
expect_app_exit() {
    local expected=${1:-0} code=0
    poll_until 20 "the program to end" process_ended "$APP_PID" || fail "the program did not end"
    wait "$APP_PID" || code=$?
    APP_PID=
    [ "$code" -eq "$expected" ] || fail "the program ended with exit code $code, expected $expected"
}

# Closes the welcome window from its title bar, which ends the program.
quit_app() {
    close_window "$WELCOME"
    expect_app_exit 0
}

# ---------------------------------------------------------------------------
# Windows

# "id<TAB>title" of every visible window, for failure reports.
visible_windows() {
    local w
    for w in $(find_visible ''); do
        printf '%s\t%s\t' "$w" "$(xdotool getwindowname "$w" 2>/dev/null)"
        xdotool getwindowgeometry "$w" 2>/dev/null | tr '\n' ' '
        echo
    done
}

# Ids of the visible windows whose title matches (the root window left out).
find_visible() {
    xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "$ROOT_WINDOW" || true
}

# One visible window whose title matches: its id goes to FOUND.
FOUND=
one_visible() {
    FOUND=$(find_visible "$1")
    [ -n "$FOUND" ] && [ "$(echo "$FOUND" | wc -l)" -eq 1 ]
}

no_visible() {
    [ -z "$(find_visible "$1")" ]
}

# wait_window TITLE_REGEX: prints the id of the one visible window whose title
# matches, once there is exactly one.
wait_window() {
    poll_until 30 "a visible window titled $1" one_visible "$1" \
        || { visible_windows >&2; fail "no single visible window titled $1"; }
    echo "$FOUND"
}

wait_window_gone() {
    poll_until 30 "no visible window titled $1" no_visible "$1" \
        || { visible_windows >&2; fail "a window titled $1 is still visible"; }
}

window_visible() {
    local state
    state=$(xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Map State: *//p')
    [ "$state" = IsViewable ]
}

window_hidden() {
    ! window_visible "$1"
}

wait_hidden() {
    poll_until 30 "window $1 to be hidden" window_hidden "$1" || fail "window $1 is still shown"
}

wait_shown() {
    poll_until 30 "window $1 to be shown" window_visible "$1" || fail "window $1 is not shown"
}

has_focus() {
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# Waits for the window to hold the keyboard focus, asking for it if need be.
wait_focus() {
    poll_until 5 "window $1 to take the keyboard" has_focus "$1" 2>/dev/null && return 0
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    poll_until 10 "window $1 to take the keyboard" has_focus "$1" \
        || fail "window $1 never got the keyboard focus"
}

title_is() {
    [ "$(xdotool getwindowname "$1" 2>/dev/null)" = "$2" ]
}

# expect_title WINDOW TEXT: the window's title becomes TEXT.
expect_title() {
    poll_until 10 "window $1 to be titled '$2'" title_is "$1" "$2" \
        || fail "window $1 is titled '$(xdotool getwindowname "$1")', expected '$2'"
}

# Sets WIN_X, WIN_Y, WIN_W, WIN_H to the window's client area on the screen.
# Without a window manager a top-level window's X geometry is its client area.
window_geometry() {
    local key value
    WIN_X='' WIN_Y='' WIN_W='' WIN_H=''
    while IFS='=' read -r key value; do
        case $key in
            X) WIN_X=$value ;;
            Y) WIN_Y=$value ;;
            WIDTH) WIN_W=$value ;;
            HEIGHT) WIN_H=$value ;;
        esac
    done < <(xdotool getwindowgeometry --shell "$1")
    [ -n "$WIN_X" ] && [ -n "$WIN_H" ] || fail "no geometry for window $1"
}

expect_client_size() {
    window_geometry "$1"
    [ "${WIN_W}x${WIN_H}" = "$2" ] || fail "window $1 measures ${WIN_W}x${WIN_H}, expected $2"
}

# Asks a window to close as its title bar's close button would.
close_window() {
    xhelper close "$1" || fail "could not send WM_DELETE_WINDOW to $1"
}

# Screen position of the centre of a control designed at LEFT TOP WIDTH HEIGHT
# (twips, relative to the window's client area): sets AT_X, AT_Y.
design_point() {
    local window=$1 left=$2 top=$3 width=$4 height=$5
    window_geometry "$window"
    AT_X=$((WIN_X + (2 * left + width) / (2 * TWIPS_PER_PIXEL)))
    AT_Y=$((WIN_Y + (2 * top + height) / (2 * TWIPS_PER_PIXEL)))
}

# Presses BUTTON at the screen point AT_X, AT_Y. A second press of the same
# button on the same spot soon after the first is a double click to Qt, and a
# right double click opens no input box: such a press waits until the double
# click time has passed. (Repeated left presses on a button count either way.)
# The last press is kept in a file, as presses happen in subshells too.
press_at() {
    local button=$1 now last=(0 0 0 0)
    now=$(($(date +%s%N) / 1000000))
    [ -f "$E2E_DIR/last-press" ] && read -r -a last <"$E2E_DIR/last-press"
    if [ "$button" = 3 ] && [ "${last[0]}" = 3 ] &&
        [ $((AT_X - last[1])) -le 8 ] && [ $((last[1] - AT_X)) -le 8 ] &&
        [ $((AT_Y - last[2])) -le 8 ] && [ $((last[2] - AT_Y)) -le 8 ]; then
        local wait_ms=$((last[3] + 800 - now))
        if [ "$wait_ms" -gt 0 ]; then
            sleep "$(printf '0.%03d' "$wait_ms")"
            now=$(($(date +%s%N) / 1000000))
        fi
    fi
    xdotool mousemove "$AT_X" "$AT_Y" click "$button"
    echo "$button $AT_X $AT_Y $now" >"$E2E_DIR/last-press"
}

# click WINDOW LEFT TOP WIDTH HEIGHT [BUTTON]: clicks the centre of a control.
click() {
    design_point "$1" "$2" "$3" "$4" "$5"
    press_at "${6:-1}"
}

# click_at WINDOW X Y [BUTTON]: clicks a point given in twips.
click_at() {
    design_point "$1" "$2" "$3" 0 0
    press_at "${4:-1}"
}

# ---------------------------------------------------------------------------
# The input box "修改"

# Waits for the input box and for its keyboard focus.
wait_input_box() {
    local box
    box=$(wait_window '^修改$')
    wait_focus "$box"
}

# edit_caption WINDOW X Y TEXT: right-clicks the point (twips) and replaces
# the text in the input box.
edit_caption() {
    click_at "$1" "$2" "$3" 3
    wait_input_box
    type_into_box "$4"
    xdotool key Return
    wait_window_gone '^修改$'
}

# Replaces the text of the open input box with TEXT, reading it back before
# going on. xdotool types a character missing from the keyboard map by
# mapping it onto a spare key for a moment; should the program read the map
# after xdotool has moved on, a character comes out wrong. That is the test
# tool's hazard, not the program's, so a wrong text is entered again; from the
# third try on (a loaded machine can drop the mapped keys every time) it is
# pasted from the clipboard instead, as a cashier may do too.
type_into_box() {
    local text=$1 got try
    for try in 1 2 3 4 5; do
        if [ "$try" -le 2 ]; then
            enter_box_text "$text"
        else
            paste_box_text "$text"
        fi
        got=$(copy_box_text) || fail "could not read the input box back"
        [ "$got" = "$text" ] && return 0
        note "entered '$text' but the input box holds '$got'; entering it again"
    done
    fail "the input box never held '$text'"
}

# Puts TEXT in place of the open input box's text (a case may redefine it).
enter_box_text() {
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 30 -- "$1"
}

# Puts TEXT in place of the open input box's text through the clipboard.
paste_box_text() {
    printf '%s' "$1" | xclip -selection clipboard -i >/dev/null 2>&1
    poll_until 10 "the text on the clipboard" clipboard_holds "$1" || fail "xclip did not take '$1'"
    xdotool key --clearmodifiers ctrl+a ctrl+v
}

# The text of the open input box, through the clipboard.
copy_box_text() {
    # A marker on the clipboard first, so that the copy is seen to arrive.
    # xclip holds it in the foreground (-quiet) until the program takes the
    # clipboard over, and is then reaped here.
    local marker="tavelko-e2e-marker-$$-$RANDOM" holder
    # Started as a program, so that $! is the holder itself (timeout, which
    # passes a TERM on to xclip).
    printf '%s' "$marker" | timeout -k 2 60 xclip -selection clipboard -i -quiet >/dev/null 2>&1 &
    holder=$!
    if ! poll_until 10 "the marker on the clipboard" clipboard_holds "$marker"; then
        stop_process "$holder"
        return 1
    fi
    # The box still shows, so the program still owns the clipboard. Under
    # Wine a keystroke sent the moment the box takes the focus can be lost, and
    # Wine's own clipboard thread can hold the clipboard open while it takes in
    # the marker: the copy is asked for again, which does no harm.
    local copied=1 _
    for _ in 1 2 3 4; do
        xdotool key --clearmodifiers ctrl+a ctrl+c
        if poll_until 4 "the input box's text on the clipboard" clipboard_changed_from "$marker" 2>/dev/null; then
            copied=0
            break
        fi
    done
    if [ "$copied" != 0 ]; then
        echo "timed out waiting for the input box's text on the clipboard" >&2
        stop_process "$holder"
        return 1
    fi
    poll_until 10 "xclip to give the clipboard up" process_ended "$holder" || stop_process "$holder"
    wait "$holder" 2>/dev/null || true
    read_clipboard_now
}

# prefill_of WINDOW X Y: the text the input box opens with at that point (twips),
# read through the clipboard; the box is then cancelled, which keeps the caption.
prefill_of() {
    local text
    click_at "$1" "$2" "$3" 3
    wait_input_box
    text=$(copy_box_text) || { xdotool key Escape; fail "ctrl+c in the input box copied nothing"; }
    xdotool key Escape
    wait_window_gone '^修改$'
    printf '%s' "$text"
}

# Opens the input box at a point (twips) and cancels it. When the box shows,
# the program has handled every click given before: a barrier, not an edit.
settle_app() {
    click_at "$1" "$2" "$3" 3
    wait_input_box
    xdotool key Escape
    wait_window_gone '^修改$'
}

# ---------------------------------------------------------------------------
# Main window and order sheets

# From the welcome window to the main window; prints the main window's id.
open_main() {
    click "$WELCOME" "${MENU_BUTTON[@]}"
    local main
    main=$(wait_window '^Form2$')
    wait_hidden "$WELCOME"
    echo "$main"
}

# The one visible window that has an order sheet's size.
find_sheet() {
    local w
    for w in $(find_visible ''); do
        window_geometry "$w"
        if [ "${WIN_W}x${WIN_H}" = "$SHEET_SIZE" ]; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

# open_category MAIN N: presses category button N; prints the sheet's id.
open_category() {
    local main=$1 sheet
    # shellcheck disable=SC2046
    click "$main" $(category_button "$2")
    wait_hidden "$main"
    poll_until 30 "an order sheet to show" find_sheet >/dev/null || { visible_windows >&2; fail "no order sheet showed"; }
    sheet=$(find_sheet)
    echo "$sheet"
}

# close_sheet SHEET MAIN: the sheet's "关闭", back to the main window.
close_sheet() {
    click "$1" "${SHEET_CLOSE[@]}"
    wait_hidden "$1"
    wait_shown "$2"
}

# hold MAIN NAME: 挂单 under NAME, typed into the box that opens with the focus.
hold() {
    click "$1" "${HOLD[@]}"
    local box
    box=$(wait_window '^挂单$')
    wait_focus "$box"
    xdotool type "$2"
    xdotool key Return
    wait_window_gone '^挂单$'
}

# recall MAIN: 取单, Enter on the first entry (the oldest).
recall() {
    click "$1" "${RECALL[@]}"
    local list
    list=$(wait_window '^取单$')
    wait_focus "$list"
    xdotool key Return
    wait_window_gone '^取单$'
}

# close_main MAIN: the main window's "关闭", back to the welcome window.
close_main() {
    click "$1" "${MAIN_CLOSE[@]}"
    wait_hidden "$1"
    wait_shown "$WELCOME"
}

# Points inside the editable labels of a sheet, clear of the buttons that lie
# over the dish name label.
dish_name_point() { echo "$(($(row_left "$1") + 600)) $(($(row_top "$1") + 187))"; }
price_point() {
    local offset=2400
    [ "$2" = large ] && offset=3960
    echo "$(($(row_left "$1") + offset + 200)) $(($(row_top "$1") + 127))"
}
# heading_point small|large left|right
heading_point() {
    local left=1560
    [ "$1" = large ] && left=3120
    [ "$2" = right ] && left=$((left + 5040))
    echo "$((left + 600)) 307"
}

# set_dish_name SHEET ROW TEXT
set_dish_name() {
    # shellcheck disable=SC2046
    edit_caption "$1" $(dish_name_point "$2") "$3"
}

# set_price SHEET ROW small|large TEXT
set_price() {
    # shellcheck disable=SC2046
    edit_caption "$1" $(price_point "$2" "$3") "$4"
}

# set_heading SHEET small|large left|right TEXT
set_heading() {
    # shellcheck disable=SC2046
    edit_caption "$1" $(heading_point "$2" "$3") "$4"
}

# press_quantity SHEET ROW small|large plus|minus [TIMES]
press_quantity() {
    local sheet=$1 row=$2 offset times=${5:-1} i
    case $3-$4 in
        small-minus) offset=1440 ;;
        small-plus) offset=2040 ;;
        large-minus) offset=3000 ;;
        large-plus) offset=3600 ;;
        *) fail "press_quantity: no button $3 $4" ;;
    esac
    for ((i = 0; i < times; i++)); do
        click "$sheet" $(($(row_left "$row") + offset)) "$(row_top "$row")" 255 255
    done
}

# rename_category MAIN N TEXT
rename_category() {
    local main=$1 left=${CATEGORY_LEFTS[$(($2 - 1))]}
    edit_caption "$main" $((left + 645)) 2392 "$3"
}

# category_name MAIN N: what the input box of category button N opens with.
category_name() {
    local main=$1 left=${CATEGORY_LEFTS[$(($2 - 1))]}
    prefill_of "$main" $((left + 645)) 2392
}

# Waits until the main window has handled every click so far (see settle_app).
settle_main() {
    settle_app "$1" $((CATEGORY_LEFTS[0] + 645)) 2392
}

# copy_bill_to MAIN FILE: "复制", then the clipboard's bytes into FILE.
copy_bill_to() {
    click "$1" "${COPY_BILL[@]}"
    settle_main "$1"
    clipboard_to "$2"
}

# ---------------------------------------------------------------------------
# Clipboard

read_clipboard_now() {
    xclip -selection clipboard -o -t UTF8_STRING 2>/dev/null
}

clipboard_holds() {
    [ "$(read_clipboard_now)" = "$1" ]
}

clipboard_changed_from() {
    local now
    now=$(read_clipboard_now) && [ "$now" != "$1" ]
}

# clipboard_to FILE: the clipboard's bytes, as they are (no trailing newline
# is added or removed).
clipboard_to() {
    local status=1 i
    for i in 1 2 3 4 5; do
        status=0
        xclip -selection clipboard -o -t UTF8_STRING >"$1" 2>"$E2E_DIR/logs/xclip.err" || status=$?
        [ "$status" -eq 0 ] && return 0
        [ "$status" -ge 124 ] && echo "xclip -o gave no answer in ${CLIPBOARD_LIMIT}s" >>"$E2E_DIR/logs/xclip.err"
        sleep 0.2
    done
    fail "the clipboard cannot be read: $(cat "$E2E_DIR/logs/xclip.err")"
}

# expect_same_bytes WHAT EXPECTED_FILE ACTUAL_FILE
expect_same_bytes() {
    if ! cmp -s "$2" "$3"; then
        echo "expected $1:" >&2
        od -c "$2" >&2
        echo "got:" >&2
        od -c "$3" >&2
        fail "$1 differs"
    fi
}

# ---------------------------------------------------------------------------
# Settings file

settings_file() {
    echo "$XDG_CONFIG_HOME/Tavelko/Tavelko.conf"
}

# ini_value SECTION KEY: the value stored in the settings file, with the
# quoting and \xNNNN escapes of Qt's INI format undone.
ini_value() {
    local section=$1 key=$2 raw
    raw=$(awk -v section="[$section]" -v key="$key" '
        /^\[/ { inside = ($0 == section); next }
        inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
    ' "$(settings_file)")
    case $raw in
        \"*\") raw=${raw#\"}; raw=${raw%\"} ;;
    esac
    # \xNNNN is one UTF-16 code unit; printf's \u writes it as UTF-8.
    raw=$(printf '%s' "$raw" | sed -E 's/\\x([0-9a-fA-F]{4})/\\u\1/g; s/\\x([0-9a-fA-F]{2})/\\u00\1/g')
    printf '%b' "$raw"
}

expect_ini_value() {
    local value
    [ -f "$(settings_file)" ] || fail "no settings file at $(settings_file)"
    value=$(ini_value "$1" "$2")
    [ "$value" = "$3" ] || fail "settings [$1] $2 holds '$value', expected '$3'"
}

# ---------------------------------------------------------------------------
# Message boxes

# expect_message_box MAIN: a message box (a window titled "Tavelko" that is
# not the welcome window) shows over the main window; it is acknowledged with
# Enter, and the program goes on and still answers.
# One visible window titled "Tavelko" besides the welcome window: its id goes
# to FOUND.
one_message_box() {
    FOUND=$(find_visible '^Tavelko$' | grep -vx "$WELCOME" || true)
    [ -n "$FOUND" ] && [ "$(echo "$FOUND" | wc -l)" -eq 1 ]
}

expect_message_box() {
    local main=$1 box
    poll_until 30 "a message box" one_message_box || { visible_windows >&2; fail "no message box showed"; }
    box=$FOUND
    if window_visible "$WELCOME"; then
        fail "the welcome window showed with the message box"
    fi
    window_visible "$main" || fail "the main window went away with the message box"
    wait_focus "$box"
    xdotool key Return
    poll_until 30 "the message box to close" window_hidden "$box" || fail "Enter did not close the message box"
    app_running || fail "the program ended after the message box"
    settle_main "$main"
    window_visible "$main" || fail "the main window is gone after the message box"
}

# Once the main window has handled every click so far, it is the only window
# that shows: no message box.
expect_only_main() {
    local main=$1 shown
    settle_main "$main"
    shown=$(find_visible '')
    [ "$shown" = "$main" ] || { visible_windows >&2; fail "more than the main window shows"; }
}

# ---------------------------------------------------------------------------
# Printed documents

# ticket_is JOB LINE...: the kitchen ticket printed as job JOB is these lines and no
# other dish lines (its heading, table and time aside).
ticket_is() {
    local job=$1 file
    shift
    file=$E2E_DIR/ticket-$job.txt
    pdf_lines "$(cups_job_file "$job")" >"$file"
    cp "$file" "$E2E_OUTPUT/"
    local dishes
    dishes=$(grep -E '×' "$file" || true)
    [ "$dishes" = "$(printf '%s\n' "$@")" ] \
        || fail "ticket $job has$(printf '\n%s' "$(cat "$file")")"$'\n'"expected the dish lines$(printf '\n%s' "$@")"
    grep -qE '[0-9]+\.[0-9]|元' "$file" && fail "ticket $job shows a price: $(cat "$file")"
    return 0
}


# pdf_lines FILE: the non-empty text lines of a PDF, spaces folded.
pdf_lines() {
    pdftotext -raw -enc UTF-8 "$1" - | tr -d '\f' | sed -E 's/[[:space:]]+/ /g; s/^ //; s/ $//' | grep -v '^$' || true
}

# pdf_text_is_blank FILE: the PDF holds no visible text.
pdf_text_is_blank() {
    [ -z "$(pdftotext -enc UTF-8 "$1" - | tr -d '[:space:]\f')" ]
}

# expect_line_layout FILE INDEX...: the printed lines that hold text stand at
# the given bill line numbers (0 for the first line), so the empty lines of
# the bill took their room on paper, one printed line each: the text lines
# lie evenly on a grid whose pitch is a single line (0.9 to 1.6 times the
# height of the text), neither a double one nor overlapping lines.
expect_line_layout() {
    local file=$1
    shift
    pdftotext -bbox -enc UTF-8 "$file" - | awk -v wanted="$*" '
        function abs(v) { return v < 0 ? -v : v }
        /<word / {
            match($0, /yMin="[0-9.]+"/); top = substr($0, RSTART + 6, RLENGTH - 7) + 0
            match($0, /yMax="[0-9.]+"/); bottom = substr($0, RSTART + 6, RLENGTH - 7) + 0
            for (line = 1; line <= lines && abs(top - tops[line]) > 3; line++) ;
            if (line > lines) {
                tops[++lines] = top
                height[lines] = bottom - top
            }
        }
        END {
            for (i = 2; i <= lines; i++)  # top to bottom, whatever order the words came in
                for (j = i; j > 1 && tops[j - 1] > tops[j]; j--) {
                    t = tops[j]; tops[j] = tops[j - 1]; tops[j - 1] = t
                    t = height[j]; height[j] = height[j - 1]; height[j - 1] = t
                }
            count = split(wanted, index_of, " ")
            if (lines != count) {
                printf "%d printed lines hold text, expected %d\n", lines, count; exit 1
            }
            pitch = (tops[lines] - tops[1]) / (index_of[count] - index_of[1])
            for (i = 1; i <= lines; i++) {
                expected = tops[1] + (index_of[i] - index_of[1]) * pitch
                if (abs(tops[i] - expected) > 0.3 * pitch) {
                    printf "printed line %d lies at %.1f pt, expected %.1f pt (bill line %d)\n", i, tops[i], expected, index_of[i]; exit 1
                }
                if (pitch > 1.6 * height[i] || pitch < 0.9 * height[i]) {
                    printf "the line pitch of %.1f pt is not one line of %.1f pt text\n", pitch, height[i]; exit 1
                }
            }
        }' >&2 || fail "the printed lines are not laid out as the bill's lines"
}

expect_pdf() {
    [ "$(head -c 5 "$1")" = "%PDF-" ] || fail "the printer received no PDF document: $(head -c 16 "$1" | od -c | head -n1)"
}
