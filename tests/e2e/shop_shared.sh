#!/usr/bin/env bash
# Two tills of one shop running side by side, each on a display and in
# folders of its own, on a throwaway PostgreSQL 15 (run inside
# pg_virtualenv) and one kitchen printer:
# - the owner changes a price on till 1 ("前台"); till 2 ("二楼"), its sheet
#   open with the dish counted, shows it within seconds, and its line
#   follows; till 2 started again with the server stopped still has it;
# - 3号桌 put aside on till 1 is brought back on till 2, gets one more bowl,
#   and 下单 sends only that bowl; till 1 cannot take it meanwhile; till 2
#   pays it while the server is stopped, and till 1 never sees it again;
# - with the server stopped both tills put aside 5号桌: after it returns
#   there is one 5号桌 and one 5号桌（2）, told on both tills;
# - till 2 killed holding a table: the owner frees it on till 1.
. "$(dirname "$0")/lib.sh"
e2e_begin shop_shared
require_tools psql pg_ctlcluster cupsd lpadmin lpstat pdftotext
[ -n "${PGPORT:-}" ] || fail "no throwaway server: run inside tests/throwaway_pg.sh"

uri="postgresql://$PGUSER@$PGHOST:$PGPORT/$PGDATABASE"
server() { limited 60 pg_ctlcluster 15 regress "$@"; }
shop_sql() { limited 30 psql -Atc "$1" "$uri"; }
# shop_says QUERY ANSWER: the shop's database answers QUERY with ANSWER (asked anew at each poll).
shop_says() { [ "$(shop_sql "$1")" = "$2" ]; }

cups_start "$E2E_DIR/cups"
cups_add_printer kitchen80 "$E2E_HERE/data/roll80.ppd"
cups_set_default kitchen80

HEADING=(120 120 7935 615)

# Each till keeps its display, folders and program in these; use_till N
# makes till N's the current ones for lib.sh's helpers.
declare -A TILL1 TILL2
keep_till() {
    local -n t=TILL$1
    t[display]=$DISPLAY t[root]=$ROOT_WINDOW t[xvfb]=$XVFB_PID t[app]=$APP_PID t[welcome]=$WELCOME
    t[data]=$XDG_DATA_HOME t[config]=$XDG_CONFIG_HOME t[runtime]=$XDG_RUNTIME_DIR
}
CURRENT=1
use_till() {
    keep_till "$CURRENT"
    local -n t=TILL$1
    export DISPLAY=${t[display]} XDG_DATA_HOME=${t[data]} XDG_CONFIG_HOME=${t[config]} XDG_RUNTIME_DIR=${t[runtime]}
    ROOT_WINDOW=${t[root]} XVFB_PID=${t[xvfb]} APP_PID=${t[app]} WELCOME=${t[welcome]}
    CURRENT=$1
}
both_cleanup() {
    local status=$?
    if [ "$CURRENT" = 2 ] || [ -n "${TILL2[display]:-}" ]; then
        use_till 2
        stop_process "$APP_PID"
        stop_process "$XVFB_PID"
        use_till 1
    fi
    e2e_cleanup "$status"
}
trap both_cleanup EXIT

for n in 1 2; do
    if [ "$n" = 2 ]; then
        keep_till 1
        XDG_DATA_HOME=$E2E_DIR/till2/data XDG_CONFIG_HOME=$E2E_DIR/till2/config XDG_RUNTIME_DIR=$E2E_DIR/till2/runtime
        mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
        chmod 700 "$XDG_RUNTIME_DIR"
        echo >"$E2E_DIR/display"
        start_xvfb
        APP_PID= WELCOME=
        keep_till 2
        CURRENT=2
    fi
    mkdir -p "$XDG_DATA_HOME/Tavelko"
    printf '[payment]\nprintReceipt=false\n[kitchen]\nprinter=kitchen80\n' >"$XDG_DATA_HOME/Tavelko/shop.ini"
done
use_till 1

# recall_listed MAIN: 取单 opened its list (left open); a till that has not
# heard of the shop's tables yet says it has none: that box is closed and
# false is returned, for the caller to try again.
list_or_box() { one_visible '^取单$' || one_message_box; }
recall_listed() {
    click "$1" "${RECALL[@]}"
    poll_until 20 "取单's list or a message" list_or_box || { visible_windows >&2; fail "取单 showed nothing"; }
    one_visible '^取单$' && return 0
    wait_focus "$FOUND"
    xdotool key Return
    poll_until 20 "the message box to close" window_hidden "$FOUND" || fail "the message box stayed"
    return 1
}
recall_when_listed() {
    poll_until 20 "取单 to list a table" recall_listed "$1" || fail "取单 never listed a table"
    local list
    list=$(wait_window '^取单$')
    wait_focus "$list"
    xdotool key Return
    wait_window_gone '^取单$'
}
# told TEXT: a message box on the current till says TEXT (the program logs
# what it tells of the shop's tables); Enter closes it.
told_logged() { grep -qF "$1" "$E2E_DIR/logs/tavelko-${LOG_OF[$CURRENT]}.log"; }
told() {
    local box
    poll_until 20 "a message box" one_message_box || { visible_windows >&2; fail "no message box showed"; }
    box=$FOUND
    poll_until 10 "the box to say $1" told_logged "$1" \
        || fail "the box does not say $1: $(grep -F '店铺：' "$E2E_DIR/logs/tavelko-${LOG_OF[$CURRENT]}.log")"
    wait_focus "$box"
    xdotool key Return
    poll_until 20 "the message box to close" window_hidden "$box" || fail "the message box stayed"
}
# notice_said TEXT: a note from the shop (titled 店铺) shows on the current
# till, and its log has it, saying TEXT; the note is closed.
notice_shows() { one_visible '^店铺$'; }
notice_logged() { grep -qF "$1" "$E2E_DIR/logs/tavelko-${LOG_OF[$CURRENT]}.log"; }
notice_said() {
    poll_until 20 "a note from the shop" notice_shows || { visible_windows >&2; fail "no note from the shop"; }
    local note=$FOUND
    poll_until 10 "the note to say $1" notice_logged "$1" \
        || fail "the note does not say $1: $(grep -F '店铺：' "$E2E_DIR/logs/tavelko-${LOG_OF[$CURRENT]}.log")"
    xhelper close "$note"
    poll_until 20 "the note to close" window_hidden "$note" || fail "the note stayed"
}
declare -A LOG_OF
start_till_app() {
    start_app
    LOG_OF[$CURRENT]=$APP_RUNS
}
price_on_sheet() { [ "$(prefill_of "$1" $(price_point 1 small))" = "$2" ]; }
stored_price() { [ "$(ini_value Form3 "$PRICE_KEY")" = "$1" ]; }

note "till 1 joins a shop with no menu: its menu becomes the shop's"
mkdir -p "$XDG_CONFIG_HOME/Tavelko"
printf '[Form2]\nC1=面条\n' >"$(settings_file)"   # a till with a menu of its own
tavelko_cli --join-shop "$uri" --till 1 --till-name 前台 >"$E2E_DIR/join1.txt" 2>&1 \
    || fail "till 1 did not join: $(cat "$E2E_DIR/join1.txt")"
grep -q '本机的菜单已作为全店的菜单' "$E2E_DIR/join1.txt" || fail "till 1 was not offered the menu: $(cat "$E2E_DIR/join1.txt")"
start_till_app
main1=$(open_main)
poll_until 20 "till 1's menu to reach the shop" shop_says "select count(*) > 0 from tavelko.menu" t \
    || fail "till 1's menu did not go up"
use_till 2
note "till 2 joins a shop with a menu: its own is exported first"
tavelko_cli --join-shop "$uri" --till 2 --till-name 二楼 >"$E2E_DIR/join2.txt" 2>&1 \
    || fail "till 2 did not join: $(cat "$E2E_DIR/join2.txt")"
grep -q '本机原来的菜单已导出到' "$E2E_DIR/join2.txt" || fail "till 2's menu was not kept: $(cat "$E2E_DIR/join2.txt")"
ls "$XDG_DATA_HOME"/Tavelko/加入店铺前的菜单-*.csv >/dev/null || fail "no export beside till 2's journal"

note "till 1's owner names a dish and prices it 12; till 2 takes it and counts one on its open sheet"
use_till 1
sheet1=$(open_category "$main1" 1)
set_dish_name "$sheet1" 1 牛肉面
set_heading "$sheet1" small left 小份
set_heading "$sheet1" large left 大份
set_price "$sheet1" 1 small 12
close_sheet "$sheet1" "$main1"
PRICE_KEY=$(awk -F= '/^\[Form3\]/{s=1;next} /^\[/{s=0} s && $2=="12"{print $1; exit}' "$(settings_file)")
[ -n "$PRICE_KEY" ] || fail "till 1 did not keep its price"
use_till 2
start_till_app
main2=$(open_main)
poll_until 10 "till 2 to keep the price" stored_price 12 || fail "the price did not reach till 2: $(ini_value Form3 "$PRICE_KEY")"
notice_said '牛肉面 小份 （空白） → 12'
sheet2=$(open_category "$main2" 1)
press_quantity "$sheet2" 1 small plus 1

note "the owner changes the price to 14 on till 1: till 2's open sheet follows within seconds"
use_till 1
sheet1=$(open_category "$main1" 1)
set_price "$sheet1" 1 small 14
close_sheet "$sheet1" "$main1"
use_till 2
poll_until 10 "till 2 to keep the new price" stored_price 14 || fail "the price did not reach till 2: $(ini_value Form3 "$PRICE_KEY")"
notice_said '牛肉面 小份 12 → 14'
price_on_sheet "$sheet2" 14 || fail "till 2's open sheet does not show 14"
close_sheet "$sheet2" "$main2"
click "$main2" "${MAKE_BILL[@]}"
copy_bill_to "$main2" "$E2E_DIR/bill.txt"
grep -q '牛肉面 1小份 0大份 14' "$E2E_DIR/bill.txt" && grep -q '总计   14元' "$E2E_DIR/bill.txt" \
    || fail "the counted line did not follow: $(tr '\r' ' ' <"$E2E_DIR/bill.txt")"
click "$main2" "${RESET_ALL[@]}"
settle_main "$main2"

note "till 2 started again with the server stopped still sells at 14"
quit_app
server stop -m immediate || fail "the server did not stop"
start_till_app
main2=$(open_main)
sheet2=$(open_category "$main2" 1)
price_on_sheet "$sheet2" 14 || fail "till 2 lost the shop's price while the server was away"
close_sheet "$sheet2" "$main2"
server start || fail "the server did not start again"

note "3号桌 put aside on till 1 (the kitchen gets its bowl)"
use_till 1
sheet1=$(open_category "$main1" 1)
press_quantity "$sheet1" 1 small plus 1
close_sheet "$sheet1" "$main1"
hold "$main1" 3
cups_wait_jobs 1 || fail "putting 3号桌 aside sent nothing to the kitchen"
ticket_is 1 '牛肉面 小份 ×1'
poll_until 20 "3号桌 to be in the shop" shop_says "select count(*) from tavelko.open_tables where name = '3号桌' and closed_at is null" 1 \
    || fail "3号桌 did not reach the shop"

note "till 2 brings 3号桌 back, adds a bowl; 下单 sends only that bowl"
use_till 2
recall_when_listed "$main2"
sheet2=$(open_category "$main2" 1)
press_quantity "$sheet2" 1 small plus 1
close_sheet "$sheet2" "$main2"
click "$main2" "${KITCHEN[@]}"
cups_wait_jobs 2 || fail "下单 on till 2 sent nothing"
ticket_is 2 '牛肉面 小份 ×1'
grep -q '二楼\|2号机' "$E2E_DIR/ticket-2.txt" || fail "the ticket does not say it came from till 2: $(cat "$E2E_DIR/ticket-2.txt")"

note "till 1 cannot take 3号桌 while till 2 has it"
use_till 1
poll_until 20 "till 1 to hear where 3号桌 is" shop_says "select count(*) from tavelko.open_tables where name = '3号桌' and held_by is not null" 1 \
    || fail "the shop does not know that till 2 has 3号桌"
recall "$main1"
told '3号桌 正在 二楼 收银机 上'

note "till 2 pays 3号桌 while the server is stopped; till 1 never sees it again"
server stop -m immediate || fail "the server did not stop"
use_till 2
click "$main2" "${CHECKOUT[@]}"
window=$(wait_window '^结账$')
wait_focus "$window"
xdotool type 30
xdotool key Return
wait_window_gone '^结账$'
server start || fail "the server did not start again"
poll_until 20 "3号桌 to be closed in the shop" shop_says "select count(*) from tavelko.open_tables where name = '3号桌' and closed_at is not null" 1 \
    || fail "the payment did not close 3号桌: $(shop_sql "select name, held_by, closed_at from tavelko.open_tables") / $(shop_sql "select seq, kind, entity, payload->>'closesOpen' from tavelko.changes where kind <> 'menu'") / $(tavelko_cli --shop-status 2>&1)"
poll_until 20 "till 1 to drop its copy of 3号桌" shop_says "select count(*) from tavelko.changes c join tavelko.tills t on t.uid = c.till where t.number = 1 and c.kind = 'table_drop'" 1 \
    || fail "till 1 kept 3号桌 after it was paid"
use_till 1
click "$main1" "${RECALL[@]}"
told '现在没有挂单'

note "server stopped: both tills put aside a 5号桌"
server stop -m immediate || fail "the server did not stop"
for n in 1 2; do
    use_till $n
    main=$([ $n = 1 ] && echo "$main1" || echo "$main2")
    sheet=$(open_category "$main" 1)
    press_quantity "$sheet" 1 small plus $n
    close_sheet "$sheet" "$main"
    hold "$main" 5
done
server start || fail "the server did not start again"
poll_until 30 "both 5号桌 to be in the shop" shop_says "select string_agg(name, ' ' order by name) from tavelko.open_tables where closed_at is null" '5号桌 5号桌（2）' \
    || fail "the shop's open tables: $(shop_sql "select string_agg(name, ' ') from tavelko.open_tables where closed_at is null")"
use_till 1
notice_said '5号桌（2）'
use_till 2
notice_said '5号桌（2）'
dishes=$(shop_sql "select sum(dish_count) from tavelko.open_tables where closed_at is null")
[ "$dishes" = 3 ] || fail "a dish was lost between the two 5号桌: $dishes"

note "till 2 dies holding its 5号桌; the owner frees it on till 1"
recall "$main2"
poll_until 20 "till 2 to hold a table" shop_says "select count(*) from tavelko.open_tables where held_by is not null" 1 \
    || fail "till 2 took no table"
kill -KILL "$APP_PID"
poll_until 10 "till 2 to die" process_ended "$APP_PID" || fail "till 2 survived SIGKILL"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
use_till 1
before=$(find_visible '')
click "$main1" "${HEADING[@]}" 3
poll_until 10 "the owner's menu" test -n "$(comm -13 <(echo "$before" | sort) <(find_visible '' | sort))" \
    || fail "no owner's menu"
xdotool key Down Down Down Down Down Return   # 营业记录, 交班, 店铺信息, 店铺数据库, 强制取回挂单
list=$(wait_window '^取单$')
wait_focus "$list"
xdotool key Return
confirm=$(wait_window '^强制取回$')
wait_focus "$confirm"
xdotool key Tab space   # the default is 取消: the owner chooses 强制取回
wait_window_gone '^强制取回$'
told '已强制取回'
[ "$(shop_sql "select count(*) from tavelko.open_tables where held_by is not null")" = 0 ] || fail "the table is still held"
quit_app
