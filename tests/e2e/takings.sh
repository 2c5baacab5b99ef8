#!/usr/bin/env bash
# The day's takings: two customers through their sheets, "清单", "打印" and
# "一键归零", a third who orders nothing; "--takings" and "--export-takings"
# and "--export-lines" (run while the program runs) report exactly the two
# orders, unpaid. An order whose
# "一键归零" was handled survives the program being killed; the order on the
# main window when the system asks the program to end (SIGTERM, SIGHUP,
# SIGINT) is kept.
. "$(dirname "$0")/lib.sh"
e2e_begin takings
require_tools cupsd lpadmin lpstat pdftotext

cups_start "$E2E_DIR/cups"
cups_add_printer tavelko_bill
cups_set_default tavelko_bill

today=$(date +%F)

# orders_recorded N: "--takings" reports N orders today.
orders_recorded() {
    tavelko_cli --takings >"$E2E_DIR/takings.txt" 2>&1 && grep -qx "订单数 $1" "$E2E_DIR/takings.txt"
}
wait_orders() {
    poll_until 20 "$1 orders in the journal" orders_recorded "$1" \
        || fail "the journal did not report $1 orders: $(cat "$E2E_DIR/takings.txt")"
}

# open_takings MAIN: a right click on the main window's heading at its design
# place, then the owner's menu's first entry "营业记录…"; prints the takings
# window's id.
HEADING=(120 120 7935 615)
new_visible() {
    [ -n "$(comm -13 <(echo "$1" | sort) <(find_visible '' | sort))" ]
}
open_takings() {
    local before
    before=$(find_visible '')
    click "$1" "${HEADING[@]}" 3
    poll_until 10 "the owner's menu to show" new_visible "$before" \
        || { visible_windows >&2; fail "a right click on the heading opened no menu"; }
    xdotool key Down Return
    wait_window '^营业记录$'
}

# expect_takings_figures WINDOW: its number of orders and its takings (the
# keyboard starts on the first; ctrl+a ctrl+c copies each) are those that
# "--takings" prints for today.
# The window reads the journal on its own thread: the number is copied again
# until the reading has come.
count_shown() {
    COUNT=$(copy_box_text) && grep -qx "订单数 $COUNT" "$E2E_DIR/today.txt"
}
expect_takings_figures() {
    local takings
    wait_focus "$1"
    tavelko_cli --takings >"$E2E_DIR/today.txt"
    poll_until 20 "the window's number of orders" count_shown \
        || fail "the takings window shows ${COUNT:-nothing copied} orders: $(cat "$E2E_DIR/today.txt")"
    xdotool key Tab
    takings=$(copy_box_text) || fail "the takings could not be copied"
    grep -qx "营业额 ${takings}元" "$E2E_DIR/today.txt" \
        || fail "the takings window shows $COUNT orders and $takings: $(cat "$E2E_DIR/today.txt")"
}

# sell MAIN CATEGORY DISH SMALL_PRICE SMALL LARGE_PRICE LARGE
sell() {
    local main=$1 sheet
    sheet=$(open_category "$main" "$2")
    set_dish_name "$sheet" 1 "$3"
    set_heading "$sheet" small left 小份
    set_heading "$sheet" large left 大份
    set_price "$sheet" 1 small "$4"
    set_price "$sheet" 1 large "$6"
    [ "$5" -gt 0 ] && press_quantity "$sheet" 1 small plus "$5"
    [ "$7" -gt 0 ] && press_quantity "$sheet" 1 large plus "$7"
    close_sheet "$sheet" "$main"
}

start_app
main=$(open_main)

note "first customer: 牛肉面 2 small, 1 large, 清单, 打印, 一键归零"
sell "$main" 1 牛肉面 6 2 8 1
click "$main" "${MAKE_BILL[@]}"
click "$main" "${PRINT_BILL[@]}"
cups_wait_jobs 1 || fail "the first bill did not reach the printer"
click "$main" "${RESET_ALL[@]}"
wait_orders 1

note "second customer: 炒饭 1 small, 清单, 一键归零"
sell "$main" 2 炒饭 10 1 12 0
click "$main" "${MAKE_BILL[@]}"
click "$main" "${RESET_ALL[@]}"
wait_orders 2

note "third customer orders nothing: a sheet opened and closed, 一键归零"
sheet=$(open_category "$main" 3)
close_sheet "$sheet" "$main"
click "$main" "${RESET_ALL[@]}"
settle_main "$main"
orders_recorded 2 || fail "an empty order was recorded: $(cat "$E2E_DIR/takings.txt")"

note "--takings: the two orders, their takings and dishes"
tavelko_cli --takings "$today" >"$E2E_DIR/summary.txt"
cp "$E2E_DIR/summary.txt" "$E2E_OUTPUT/"  # for whoever reviews a run
for expected in "营业日结 $today" "订单数 2" "营业额 0元" "未结账 2笔 30元" \
                "牛肉面 2小份 1大份 20元" "炒饭 1小份 0大份 10元"; do
    grep -qxF "$expected" "$E2E_DIR/summary.txt" \
        || fail "--takings lacks \"$expected\": $(cat "$E2E_DIR/summary.txt")"
done
[ "$(grep -n '元$' "$E2E_DIR/summary.txt" | grep -F 牛肉面 | cut -d: -f1)" -lt \
  "$(grep -n '元$' "$E2E_DIR/summary.txt" | grep -F 炒饭 | cut -d: -f1)" ] \
    || fail "--takings does not list the larger dish first"

note "--export-takings: a BOM, a heading and one row per order; --export-lines: one per order line"
tavelko_cli --export-takings today today "$E2E_DIR/takings.csv" || fail "--export-takings failed"
tavelko_cli --export-lines today today "$E2E_DIR/lines.csv" || fail "--export-lines failed"
for file in takings lines; do
    head -c3 "$E2E_DIR/$file.csv" | od -An -tx1 | grep -q 'ef bb bf' || fail "$file.csv has no BOM"
    # The 单号 and the time differ from run to run.
    tail -c +4 "$E2E_DIR/$file.csv" | tr -d '\r' | cut -d, -f2,4- >"$E2E_DIR/$file-rows.txt"
done
printf '%s\n' "日期,合计,折扣,抹零,应收,找零,状态" \
    "$today,20,,,,,未结账" "$today,10,,,,,未结账" >"$E2E_DIR/expected-rows.txt"
expect_same_bytes "the exported orders" "$E2E_DIR/expected-rows.txt" "$E2E_DIR/takings-rows.txt"
printf '%s\n' "日期,类别,菜品,小份数量,小份,大份数量,大份,金额,状态" \
    "$today,$(category_name "$main" 1),牛肉面,2,小份,1,大份,20,未结账" \
    "$today,$(category_name "$main" 2),炒饭,1,小份,0,大份,10,未结账" >"$E2E_DIR/expected-lines.txt"
expect_same_bytes "the exported lines" "$E2E_DIR/expected-lines.txt" "$E2E_DIR/lines-rows.txt"

note "a range the wrong way round: an error, no file"
if tavelko_cli --export-takings today 2000-01-01 "$E2E_DIR/wrong.csv" >"$E2E_DIR/wrong.txt" 2>&1; then
    fail "a reversed range was exported"
fi
[ ! -e "$E2E_DIR/wrong.csv" ] || fail "a reversed range left a file"
[ "$(wc -l <"$E2E_DIR/wrong.txt")" -eq 1 ] || fail "the error is not one line: $(cat "$E2E_DIR/wrong.txt")"

note "the takings window from the owner's menu: the figures of --takings; 打印日结, 重新打印"
takings=$(open_takings "$main")
expect_takings_figures "$takings"
xdotool key Tab Tab Tab Tab space   # from the takings over the payments to "打印日结"
cups_wait_jobs 2 || fail "打印日结 did not reach the printer"
# The same words; on paper the rules between the sections are lines, not dashes.
[ "$(pdftotext -raw -enc UTF-8 "$(cups_job_file 2)" - | tr -d '[:space:]-')" = \
  "$(tavelko_cli --takings | tr -d '[:space:]-')" ] || fail "打印日结 did not print the day's summary"
xdotool key Tab Tab Tab space   # on through the orders (the latest selected) to "重新打印"
cups_wait_jobs 3 || fail "重新打印 did not reach the printer"
pdftotext -raw -enc UTF-8 "$(cups_job_file 3)" - | tr -d '[:space:]' | grep -q "^重打$(date +%Y-%m-%d)[0-9:]*第2位.*炒饭1小份0大份10.*总计10元$" \
    || fail "重新打印 did not print the second bill: $(pdftotext -raw -enc UTF-8 "$(cups_job_file 3)" -)"
note "重新打印 to a printer that cannot be reached: the owner is told"
cups_add_unreachable_printer far_till
cups_set_default far_till
xdotool key space   # "重新打印" still has the focus
poll_until 30 "a message box" one_message_box || fail "the failed reprint was not told"
box=$FOUND
grep '打印失败' "$E2E_DIR/logs/tavelko-$APP_RUNS.log" | tail -n 1 | grep -qF '无法连接' \
    || fail "the message does not say the printer cannot be reached: $(grep '打印失败' "$E2E_DIR/logs/tavelko-$APP_RUNS.log")"
wait_focus "$box"
xdotool key Return
poll_until 30 "the message box to close" window_hidden "$box" || fail "Enter did not close the message box"
close_window "$takings"
wait_window_gone '^营业记录$'

note "killed right after 一键归零: the order is there on the next start"
sell "$main" 1 牛肉面 6 1 8 0
click "$main" "${RESET_ALL[@]}"
settle_main "$main"
kill -KILL "$APP_PID"
poll_until 10 "the program to die" process_ended "$APP_PID" || fail "the program survived SIGKILL"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
start_app
orders_recorded 3 || fail "the order before the kill was lost: $(cat "$E2E_DIR/takings.txt")"
grep -qxF "未结账 3笔 36元" "$E2E_DIR/takings.txt" || fail "the takings after the kill: $(cat "$E2E_DIR/takings.txt")"

# The system's ways of asking: at shutdown (TERM), when the terminal or the
# session goes (HUP, a logout), and Ctrl+C in the terminal it was started from
# (INT).
orders=3 takings=36
for signal in TERM HUP INT; do
    note "asked to end by the system (SIG$signal) with an order on the main window: it is kept"
    app_running || start_app
    main=$(open_main)
    sell "$main" 1 牛肉面 6 1 8 0
    kill -"$signal" "$APP_PID"
    expect_app_exit 0
    orders=$((orders + 1)) takings=$((takings + 6))
    orders_recorded "$orders" \
        || fail "the order on the main window was lost at SIG$signal: $(cat "$E2E_DIR/takings.txt")"
    grep -qxF "未结账 ${orders}笔 ${takings}元" "$E2E_DIR/takings.txt" \
        || fail "the takings after SIG$signal: $(cat "$E2E_DIR/takings.txt")"
done
