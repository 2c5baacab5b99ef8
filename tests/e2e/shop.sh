#!/usr/bin/env bash
# Two tills of a shop, each with its own data folder, on a throwaway
# PostgreSQL 15 (run inside pg_virtualenv, which hands over PGHOST, PGPORT,
# PGUSER and PGPASSWORD): till 2 joins from the command line (the password
# kept in libpq's own file, never on the command line), sells a cash order
# and a split one; another PC asking for its number is refused and joins as
# till 3. The server stops: both sell on, one after the other on this display.
# Within seconds of its return the shop's day is the sum of both tills' own
# to the 分, each order once, and its 单号 carry their till.
. "$(dirname "$0")/lib.sh"
e2e_begin shop
require_tools psql pg_ctlcluster
[ -n "${PGPORT:-}" ] || fail "no throwaway server: run inside tests/throwaway_pg.sh"

CHECKOUT=(8280 4260 2205 600)
uri="postgresql://$PGUSER@$PGHOST:$PGPORT/$PGDATABASE"
server() { limited 60 pg_ctlcluster 15 regress "$@"; }

# No receipt printer at this till: 结账 prints nothing.
mkdir -p "$XDG_DATA_HOME/Tavelko"
printf '[payment]\nprintReceipt=false\n' >"$XDG_DATA_HOME/Tavelko/shop.ini"

note "joining: a password on the command line is refused; PGPASSWORD goes to libpq's file"
tavelko_cli --join-shop "postgresql://$PGUSER:secret@$PGHOST:$PGPORT/$PGDATABASE" --till 2 --till-name 前台 \
    >"$E2E_DIR/refused.txt" 2>&1 && fail "a password on the command line was taken"
grep -q 'ps' "$E2E_DIR/refused.txt" || fail "the refusal does not say why: $(cat "$E2E_DIR/refused.txt")"
tavelko_cli --join-shop "$uri" --till 2 --till-name 前台 >"$E2E_DIR/joined.txt" 2>&1 \
    || fail "joining failed: $(cat "$E2E_DIR/joined.txt")"
grep -q '已加入店铺：2 号收银机“前台”' "$E2E_DIR/joined.txt" || fail "joined without saying so: $(cat "$E2E_DIR/joined.txt")"
[ "$(stat -c %a "$HOME/.pgpass")" = 600 ] || fail "libpq's password file is open to others"
grep -q "$PGPASSWORD" "$XDG_DATA_HOME/Tavelko/shop.ini" && fail "the password went into shop.ini"
unset PGPASSWORD   # from here on the till finds it where libpq looks

note "another PC asking for number 2 is refused; it joins as till 3"
other=$E2E_DIR/other
# as_other COMMAND...: runs COMMAND as the other till (its own folders).
as_other() {
    XDG_DATA_HOME=$other/data XDG_CONFIG_HOME=$other/config XDG_RUNTIME_DIR=$other/runtime "$@"
}
mkdir -p "$other/data/Tavelko" "$other/config" "$other/runtime"
chmod 700 "$other/runtime"
cp "$XDG_DATA_HOME/Tavelko/shop.ini" "$other/data/Tavelko/shop.ini"
as_other tavelko_cli --join-shop "$uri" --till 2 --till-name 新电脑 >"$E2E_DIR/taken.txt" 2>&1 \
    && fail "a second till took number 2"
grep -q '已经是“前台”' "$E2E_DIR/taken.txt" || fail "the refusal names no till: $(cat "$E2E_DIR/taken.txt")"
as_other tavelko_cli --join-shop "$uri" --till 3 --till-name 二楼 >"$E2E_DIR/joined-3.txt" 2>&1 \
    || fail "till 3 did not join: $(cat "$E2E_DIR/joined-3.txt")"

# sell MAIN PRICE CASH [KEYS...]: one small portion at PRICE, then 结账 with
# CASH typed and KEYS pressed (Return by default).
sell() {
    local main=$1 price=$2 cash=$3 sheet window
    shift 3
    sheet=$(open_category "$main" 1)
    set_price "$sheet" 1 small "$price"
    click "$sheet" "${CLEAR[@]}"
    press_quantity "$sheet" 1 small plus 1
    close_sheet "$sheet" "$main"
    click "$main" "${CHECKOUT[@]}"
    window=$(wait_window '^结账$')
    wait_focus "$window"
    [ -n "$cash" ] && xdotool type "$cash"
    xdotool key "${@:-Return}"
    wait_window_gone '^结账$'
}
# (--shop-status ends in failure while the server is away: its words count.)
status_says() { local said; said=$(tavelko_cli --shop-status 2>&1); grep -q "$1" <<<"$said"; }
# The day's 营业额 of one till, from its own journal.
own_day() { "$@" tavelko_cli --takings | grep -oE '^营业额 [0-9.]+' | grep -oE '[0-9.]+$'; }
shop_equals_tills() {
    local shop sum
    shop=$(tavelko_cli --takings --shop | sed -n '/^全店合计/,/^[0-9]/p' | grep -oE '实收 [0-9.]+' | grep -oE '[0-9.]+')
    sum=$(python3 -c 'import sys; print(f"{sum(float(a) for a in sys.argv[1:]):g}")' "$(own_day)" "$(own_day as_other)")
    [ -n "$shop" ] && [ "$shop" = "$sum" ]
}
start_app
main=$(open_main)
note "till 2: a cash order and a split one go up"
sell "$main" 40.5 50
sell "$main" 88 38 Tab space Return   # the split's 微信 takes the 50 left
poll_until 20 "the shop to have both orders" status_says '待上传：0' || fail "the orders did not go up: $(tavelko_cli --shop-status 2>&1)"
poll_until 20 "the shop's day to be the tills'" shop_equals_tills \
    || fail "shop and tills differ: $(tavelko_cli --takings --shop) / $(tavelko_cli --takings)"

note "the server stops: both tills sell on"
server stop -m immediate || fail "the server did not stop"
sell "$main" 12 12
app_running || fail "till 2 ended while the server was away"
poll_until 20 "the link to be shown away" status_says '未连接' \
    || fail "--shop-status does not tell the server is away: $(tavelko_cli --shop-status 2>&1)"
quit_app
export XDG_DATA_HOME=$other/data XDG_CONFIG_HOME=$other/config XDG_RUNTIME_DIR=$other/runtime
start_app
main=$(open_main)
sell "$main" 7.5 10
app_running || fail "till 3 ended while the server was away"

note "the server returns: within seconds the shop has every order, once"
server start || fail "the server did not start again"
poll_until 15 "till 3's order to go up" status_says '待上传：0' || fail "till 3's order did not go up after the return"
quit_app
export XDG_DATA_HOME=$E2E_DIR/home/.local/share XDG_CONFIG_HOME=$E2E_DIR/config XDG_RUNTIME_DIR=$E2E_DIR/runtime
start_app
poll_until 15 "till 2's order to go up" status_says '待上传：0' || fail "till 2's order did not go up after the return"
poll_until 10 "the shop's day to be the tills'" shop_equals_tills \
    || fail "shop and tills differ: $(tavelko_cli --takings --shop) / $(tavelko_cli --takings) / $(as_other tavelko_cli --takings)"
orders=$(limited 30 psql -Atc "select count(*), count(distinct receipt_number) from tavelko.orders" "$uri")
[ "$orders" = "4|4" ] || fail "the shop holds orders twice or lacks one: $orders"
numbers=$(limited 30 psql -Atc "select string_agg(receipt_number, ' ' order by receipt_number) from tavelko.orders" "$uri")
today=$(date +%Y%m%d)
[ "$numbers" = "$today-2-0001 $today-2-0002 $today-2-0003 $today-3-0001" ] \
    || fail "the 单号 do not carry their till's number: $numbers"
tavelko_cli --takings --shop >"$E2E_OUTPUT/shop-day.txt"
tavelko_cli --export-takings --shop today today "$E2E_OUTPUT/shop-day.csv" || fail "the shop's day was not exported"
grep -q "^$(date +%Y-%m-%d),2,前台,3,140.5," "$E2E_OUTPUT/shop-day.csv" \
    || fail "the export lacks till 2's day: $(cat "$E2E_OUTPUT/shop-day.csv")"
grep -q "^$(date +%Y-%m-%d),全店,,4,148," "$E2E_OUTPUT/shop-day.csv" \
    || fail "the export lacks the shop's day: $(cat "$E2E_OUTPUT/shop-day.csv")"
quit_app
