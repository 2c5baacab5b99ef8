#!/usr/bin/env bash
# The Windows program under Wine, through a day at the till: the installer
# installs it silently for the user, its Start-menu shortcut starts it; the
# restaurant names a category and a dish and sets prices, which the registry
# keeps across a restart; an order is counted, settled, handed off, billed,
# copied (the X clipboard, through Wine) and printed (Wine's PostScript, through
# a private CUPS server); everything is reset. An order paid with 结账 sends
# the kitchen its ticket first, on a second queue; one put aside (挂单) does
# too, and comes back (取单). Run inside pg_virtualenv, the till joins that
# throwaway Linux shop server and its paid order shows in the shop's day
# (--takings --shop). Then the messages a till must
# give (an overflowing price, no default printer), the end of a Windows session
# with an order open, an upgrade over the installed copy, and the uninstaller,
# which leaves the registry key.
#
# Reuses the Linux end-to-end helpers (tests/e2e/lib.sh): the same design
# positions, windows, input box and clipboard. Only typing differs: Wine reads
# the keyboard map once, so Chinese text is pasted into the input box.
#
# From scripts/windows.sh test:
#   TAVELKO_SETUP   dist/Tavelko-<version>-setup.exe
#   TAVELKO_VERSION the version it installs
#   E2E_XHELPER, E2E_JOB_SINK, E2E_OUTPUT as for the Linux cases
here=$(cd "$(dirname "$0")" && pwd)
export TAVELKO=$here/wine-tavelko.sh
. "$here/../e2e/lib.sh"
e2e_begin windows
require_tools wine wineboot wineserver winepath cupsd lpadmin ps2pdf pdftotext iconv
# Wine's helpers are time-limited as every tool is (see lib.sh), more
# generously; an installer's run, longer still. The program itself runs
# through wine-tavelko.sh, unlimited.
WINE_LIMIT=60
wine() { limited "$WINE_LIMIT" wine "$@"; }
winepath() { limited "$WINE_LIMIT" winepath "$@"; }
wineserver() { limited "$WINE_LIMIT" wineserver "$@"; }
wineboot() { limited "$WINE_LIMIT" wineboot "$@"; }
[ -f "${TAVELKO_SETUP:-}" ] || fail "TAVELKO_SETUP does not name the installer: ${TAVELKO_SETUP:-unset}"

# A Wine of its own, which prints to a CUPS server of its own: wineserver
# starts after CUPS_SERVER is set, and keeps that environment.
cups_start "$E2E_DIR/cups"
cups_add_printer till
cups_add_printer kitchen
cups_set_default till
export WINEPREFIX=$E2E_DIR/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k 2>/dev/null || true
note "a new Wine prefix"
limited 600 wineboot -i >"$E2E_DIR/logs/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -5 "$E2E_DIR/logs/wineboot.log")"
# Debian's Wine calls itself Windows 7 unless told otherwise; the installer
# wants 10.
wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
wineserver -w
wine_cleanup() {
    local status=$?
    limited 20 wineserver -k 2>/dev/null || true
    e2e_cleanup "$status"
}
trap wine_cleanup EXIT

user_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local | grep -v '/Public/' | head -n1)
user_dir=${user_dir%/AppData/Local}
install_dir=$user_dir/AppData/Local/Programs/Tavelko
start_menu_link="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tavelko.lnk"
registry_key='HKEY_CURRENT_USER\Software\Tavelko\Tavelko'

# Chinese goes into the input box through the clipboard.
enter_box_text() {
    paste_box_text "$1"
}

# Wine maps a window a moment before it takes input: a start is complete
# once the welcome window holds the keyboard focus.
start_app_and_wait() {
    start_app
    wait_focus "$WELCOME"
}

# Wine keeps a 1x1 window of its own mapped; it has no title. A program's
# window always has one.
expect_only_main() {
    local main=$1 shown w
    settle_main "$main"
    shown=$(for w in $(find_visible ''); do
        [ -n "$(xdotool getwindowname "$w" 2>/dev/null)" ] && echo "$w"
    done)
    [ "$shown" = "$main" ] || { visible_windows >&2; fail "more than the main window shows"; }
}

# Exports HKCU\Software\Tavelko\Tavelko through `reg export` (UTF-16) into
# $E2E_DIR/registry.reg. A `wine reg` started as the last wineserver is going
# away can fail: a failed export is tried again, and reported as such rather
# than as a missing value.
registry_export() {
    rm -f "$E2E_DIR/registry.reg"
    wine reg export "$registry_key" "$(winepath -w "$E2E_DIR/registry.reg")" /y \
        >"$E2E_DIR/logs/reg-export.log" 2>&1
}
# expect_registry SECTION NAME TEXT: the value under that key holds TEXT.
expect_registry() {
    local value
    poll_until 30 "reg export" registry_export \
        || fail "the registry could not be read: $(tail -3 "$E2E_DIR/logs/reg-export.log")"
    value=$(iconv -f UTF-16 -t UTF-8 "$E2E_DIR/registry.reg" | tr -d '\r' |
        awk -v section="[$registry_key\\$1]" -v key="\"$2\"=" '
            /^\[/ { inside = ($0 == section); next }
            inside && index($0, key) == 1 { v = substr($0, length(key) + 1); gsub(/^"|"$/, "", v); print v; exit }')
    if [ "$value" != "$3" ]; then
        cp "$E2E_DIR/registry.reg" "$E2E_OUTPUT/registry.reg" 2>/dev/null || true
        fail "registry $1\\$2 holds '$value', expected '$3'"
    fi
}

# A message box shows over WINDOW; Enter closes it and the program goes on.
expect_message_over() {
    poll_until 30 "a message box" one_message_box || { visible_windows >&2; fail "no message box showed"; }
    local box=$FOUND
    wait_focus "$box"
    xdotool key Return
    poll_until 30 "the message box to close" window_hidden "$box" || fail "Enter did not close the message box"
    app_running || fail "the program ended after the message box"
    window_visible "$1" || fail "the window under the message box went away"
}

note "install silently for this user, without administrator rights"
# Wine runs everyone as administrator, who would install for all users:
# /CurrentUser asks for the per-user install a non-administrator gets.
limited 300 wine "$TAVELKO_SETUP" /S /CurrentUser >"$E2E_DIR/logs/setup.log" 2>&1 || fail "the installer failed"
for f in tavelko.exe uninstall.exe Qt6Core.dll Qt6Widgets.dll Qt6PrintSupport.dll platforms/qwindows.dll \
         libpq.dll libssl-3-x64.dll libcrypto-3-x64.dll; do
    [ -f "$install_dir/$f" ] || fail "the installer left out $f"
done
[ -f "$start_menu_link" ] || fail "no Start-menu shortcut"
[ -f "$user_dir/Desktop/Tavelko.lnk" ] || fail "no desktop shortcut"

version=$(wine "$install_dir/tavelko.exe" --version | tr -d '\r')
[ "$version" = "Tavelko $TAVELKO_VERSION" ] || fail "tavelko.exe --version printed '$version'"

note "start from the Start-menu shortcut"
export WINE_TAVELKO_LINK=$start_menu_link
start_app_and_wait
unset WINE_TAVELKO_LINK
export WINE_TAVELKO_EXE=$install_dir/tavelko.exe
main=$(open_main)
rename_category "$main" 1 面条
sheet=$(open_category "$main" 1)
expect_title "$sheet" 面条
set_dish_name "$sheet" 1 牛肉面
set_price "$sheet" 1 small 6
set_price "$sheet" 1 large 8
close_sheet "$sheet" "$main"
close_main "$main"
quit_app
expect_registry Form2 C1 面条
expect_registry Form3 Label1 牛肉面
expect_registry Form3 l01 6
expect_registry Form3 l02 8

# The kitchen printer, as 店铺信息 keeps it beside the journal.
journal_file=$(find "$WINEPREFIX/drive_c/users" -path '*/Tavelko/journal.sqlite' | head -n1)
[ -n "$journal_file" ] || fail "the first start made no journal"
printf '[kitchen]\nprinter=kitchen\n' >"$(dirname "$journal_file")/shop.ini"

# Inside pg_virtualenv (scripts/windows.sh runs the day so), this till joins
# the throwaway Linux shop server on the loopback as till 4, as a Windows till
# of a Linux shop does; its paid order then shows in the shop's day.
shop_joined=
if [ -n "${PGPORT:-}" ]; then
    note "the Windows till joins the Linux shop server on 127.0.0.1:$PGPORT"
    joined=$(timeout -k 5 120 wine "$install_dir/tavelko.exe" --join-shop \
             "postgresql://$PGUSER@127.0.0.1:$PGPORT/$PGDATABASE" --till 4 --till-name upstairs 2>&1 | tr -d '\r') \
        || fail "--join-shop failed: $joined"
    case $joined in *已加入店铺*) ;; *) fail "--join-shop did not join: $joined" ;; esac
    shop_joined=1
fi

note "restart: the names and prices are back"
start_app_and_wait
main=$(open_main)
[ "$(category_name "$main" 1)" = 面条 ] || fail "C1 lost its name"
sheet=$(open_category "$main" 1)
expect_title "$sheet" 面条
# shellcheck disable=SC2046
[ "$(prefill_of "$sheet" $(price_point 1 large))" = 8 ] || fail "row 1 lost its large price"

note "count, settle, hand off, bill, copy"
press_quantity "$sheet" 1 small plus 2
press_quantity "$sheet" 1 large plus 1          # 2 x 6 + 1 x 8 = 20
click "$sheet" "${SETTLE[@]}"
close_sheet "$sheet" "$main"
click "$main" "${MAKE_BILL[@]}"
# The portion headings were left blank. Wine hands the Windows clipboard's
# CR LF line ends to X as LF; the lines themselves must be the bill's.
printf '第1位\n\n牛肉面 2  1  20\n\n\n\n\n\n\n总计   20元' >"$E2E_DIR/expected-bill"
copy_bill_to "$main" "$E2E_DIR/bill"
expect_same_bytes "the bill copied under Wine" "$E2E_DIR/expected-bill" "$E2E_DIR/bill"

note "打印: Wine's PostScript reaches the default CUPS queue"
click "$main" "${PRINT_BILL[@]}"
cups_wait_jobs 1 || fail "the bill did not reach the printer"
job=$(cups_job_file 1)
head -c 4 "$job" | grep -q '%!' || fail "the printer received no PostScript: $(head -c 16 "$job" | od -c | head -n1)"
ps2pdf "$job" "$E2E_DIR/bill.pdf"
cp "$E2E_DIR/bill.pdf" "$E2E_OUTPUT/bill.pdf"
printf '%s\n' 第1位 '牛肉面 2 1 20' '总计 20元' >"$E2E_DIR/expected-lines"
pdf_lines "$E2E_DIR/bill.pdf" >"$E2E_DIR/printed-lines"
diff -u "$E2E_DIR/expected-lines" "$E2E_DIR/printed-lines" >&2 || fail "the printed bill differs"
expect_only_main "$main"

note "一键归零: the next bill is empty"
click "$main" "${RESET_ALL[@]}"
click "$main" "${MAKE_BILL[@]}"
printf '第2位\n\n\n\n\n\n\n\n总计   0元' >"$E2E_DIR/expected-empty"
copy_bill_to "$main" "$E2E_DIR/empty-bill"
expect_same_bytes "the bill after 一键归零" "$E2E_DIR/expected-empty" "$E2E_DIR/empty-bill"

note "--takings, with the program running: the order 一键归零 ended is in the journal"
takings_show_one_order() {
    wine "$install_dir/tavelko.exe" --takings | tr -d '\r' >"$E2E_DIR/takings.txt" \
        && grep -qx "订单数 1" "$E2E_DIR/takings.txt"
}
poll_until 60 "the order in the journal" takings_show_one_order \
    || fail "--takings did not report the order: $(cat "$E2E_DIR/takings.txt")"
grep -qx "未结账 1笔 20元" "$E2E_DIR/takings.txt" || fail "--takings: $(cat "$E2E_DIR/takings.txt")"
grep -q "^牛肉面 2 .*20元$" "$E2E_DIR/takings.txt" || fail "--takings: $(cat "$E2E_DIR/takings.txt")"

note "结账: the next customer pays 6 with a 10 in cash; --takings counts it under 现金"
sheet=$(open_category "$main" 1)
press_quantity "$sheet" 1 small plus 1          # 1 x 6
close_sheet "$sheet" "$main"
click "$main" 8280 4260 2205 600                # "结账", above "清单"
checkout=$(wait_window '^结账$')
wait_focus "$checkout"
xdotool type 10                                 # digits go to the cash amount
xdotool key Return                              # 确认收款
wait_window_gone '^结账$'
cups_wait_jobs 3 || fail "the kitchen ticket and the receipt did not both reach their printers"
takings_show_cash() {
    wine "$install_dir/tavelko.exe" --takings | tr -d '\r' >"$E2E_DIR/takings.txt" \
        && grep -qx "现金 6元" "$E2E_DIR/takings.txt"
}
poll_until 60 "the paid order in the journal" takings_show_cash \
    || fail "--takings did not count the cash: $(cat "$E2E_DIR/takings.txt")"
grep -qx "营业额 6元" "$E2E_DIR/takings.txt" || fail "--takings: $(cat "$E2E_DIR/takings.txt")"
if [ -n "$shop_joined" ]; then
    shop_shows_cash() {
        timeout -k 5 120 wine "$install_dir/tavelko.exe" --takings --shop 2>&1 | tr -d '\r' >"$E2E_DIR/shop-day.txt" \
            && sed -n '/^4 号收银机/,$p' "$E2E_DIR/shop-day.txt" | grep -qx '    现金 6 元'
    }
    poll_until 60 "the paid order in the shop's day" shop_shows_cash \
        || fail "--takings --shop did not count till 4's cash: $(cat "$E2E_DIR/shop-day.txt")"
fi

# kitchen_ticket JOB FILE: the PostScript of job JOB as text lines in FILE.
kitchen_ticket() {
    ps2pdf "$(cups_job_file "$1")" "$E2E_DIR/ticket-$1.pdf"
    pdf_lines "$E2E_DIR/ticket-$1.pdf" >"$2"
}
kitchen_ticket 2 "$E2E_DIR/ticket-2.txt"
grep -qxF '牛肉面 小份 ×1' "$E2E_DIR/ticket-2.txt" \
    || fail "结账 sent no ticket to the kitchen first: $(cat "$E2E_DIR/ticket-2.txt")"

note "挂单 and 取单: table 3's ticket reaches the kitchen's queue, and table 3 comes back"
sheet=$(open_category "$main" 1)
press_quantity "$sheet" 1 large plus 2          # 2 x 8
close_sheet "$sheet" "$main"
click "$main" 8280 3600 975 600                 # "挂单", above "结账"
box=$(wait_window '^挂单$')
wait_focus "$box"
xdotool type 3
xdotool key Return
wait_window_gone '^挂单$'
cups_wait_jobs 4 || fail "the kitchen ticket did not reach the kitchen printer"
kitchen_ticket 4 "$E2E_DIR/ticket-4.txt"
grep -qxF '3号桌' "$E2E_DIR/ticket-4.txt" && grep -qxF '牛肉面 大份 ×2' "$E2E_DIR/ticket-4.txt" \
    || fail "table 3's ticket: $(cat "$E2E_DIR/ticket-4.txt")"
[ "$(lpstat -W completed -o kitchen | wc -l)" -eq 2 ] || fail "the tickets did not go to the kitchen queue: $(lpstat -W completed -o)"
click "$main" 9360 3600 975 600                 # "取单"
list=$(wait_window '^取单$')
wait_focus "$list"
xdotool key Return
wait_window_gone '^取单$'
click "$main" "${MAKE_BILL[@]}"
copy_bill_to "$main" "$E2E_DIR/table-3"
grep -q '总计   16元' "$E2E_DIR/table-3" || fail "table 3 came back as: $(cat "$E2E_DIR/table-3")"

note "no default printer: a message box, nothing printed"
# Wine learns the CUPS printers when a program starts. Table 3 goes back
# aside as the program ends.
close_main "$main"
quit_app
lpadmin -x till
lpadmin -x kitchen
start_app_and_wait
main=$(open_main)
click "$main" "${MAKE_BILL[@]}"
click "$main" "${PRINT_BILL[@]}"
expect_message_over "$main"
[ "$(cups_job_count)" -eq 4 ] || fail "a job was printed without a default printer"

note "an overflowing price: a message box, the sheet goes on"
sheet=$(open_category "$main" 1)
set_price "$sheet" 1 small 1e308
press_quantity "$sheet" 1 small plus 2
expect_message_over "$sheet"
click "$sheet" "${CLEAR[@]}"
set_price "$sheet" 1 small 6
press_quantity "$sheet" 1 small plus 1
close_sheet "$sheet" "$main"

note "the session ends (logoff, shutdown) with an order on the main window: it is recorded"
# Wine sends every window WM_QUERYENDSESSION and WM_ENDSESSION, as Windows
# does at a logoff, and then ends the process, as Windows does: whatever the
# program must do has to be done while it handles WM_ENDSESSION.
wineboot --end-session >"$E2E_DIR/logs/end-session.log" 2>&1 || fail "wineboot --end-session failed"
poll_until 30 "the session's end to end the program" process_ended "$APP_PID" || fail "the program outlived its session"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
wine "$install_dir/tavelko.exe" --takings | tr -d '\r' >"$E2E_DIR/takings.txt"
grep -qx "订单数 3" "$E2E_DIR/takings.txt" && grep -qx "未结账 2笔 26元" "$E2E_DIR/takings.txt" \
    || fail "the order on the main window was lost at the session's end: $(cat "$E2E_DIR/takings.txt")"

note "install again over the installed copy: an upgrade that keeps the registry"
limited 300 wine "$TAVELKO_SETUP" /S /CurrentUser >"$E2E_DIR/logs/setup-2.log" 2>&1 || fail "the second install failed"
expect_registry Form2 C1 面条
expect_registry Form3 l01 6
start_app_and_wait
quit_app

note "uninstall: the program goes, the names and prices stay"
limited 300 wine "$install_dir/uninstall.exe" /S >"$E2E_DIR/logs/uninstall.log" 2>&1 || fail "the uninstaller failed"
# The uninstaller runs on from a copy of itself and returns at once.
poll_until 60 "the uninstaller to remove the program" test ! -e "$install_dir/tavelko.exe" \
    || fail "the uninstaller left tavelko.exe"
wineserver -w
[ ! -e "$start_menu_link" ] || fail "the uninstaller left the Start-menu shortcut"
expect_registry Form2 C1 面条
expect_registry Form3 Label1 牛肉面
[ -n "$(find "$WINEPREFIX/drive_c/users" -path '*/Tavelko/journal.sqlite')" ] \
    || fail "the uninstaller took the takings journal"
note "windows: passed"
