#!/usr/bin/env bash
# A till of a shop, on a throwaway PostgreSQL 15 (run inside pg_virtualenv,
# which hands over PGHOST, PGPORT, PGUSER and PGPASSWORD): it joins from the
# command line (the password kept in libpq's own file, never on the command
# line), sells a cash order and a split one, sells on while the server is
# stopped, and within seconds of its return the shop's day is the till's own
# to the 分. Another PC asking for the same till number is refused unless it
# replaces the till.
. "$(dirname "$0")/lib.sh"
e2e_begin shop
require_tools psql pg_ctlcluster
[ -n "${PGPORT:-}" ] || fail "no throwaway server: run inside pg_virtualenv"

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

note "another PC asking for number 2 is refused, unless it replaces the till"
other=$E2E_DIR/other
( export XDG_DATA_HOME=$other/data XDG_CONFIG_HOME=$other/config
  tavelko_cli --join-shop "$uri" --till 2 --till-name 新电脑 ) >"$E2E_DIR/taken.txt" 2>&1 \
    && fail "a second till took number 2"
grep -q '已经是“前台”' "$E2E_DIR/taken.txt" || fail "the refusal names no till: $(cat "$E2E_DIR/taken.txt")"

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
shop_equals_till() {
    local own shop
    own=$(tavelko_cli --takings | grep -oE '^营业额 [0-9.]+' | grep -oE '[0-9.]+$')
    shop=$(tavelko_cli --takings --shop | sed -n '/^全店合计/,/^[0-9]/p' | grep -oE '实收 [0-9.]+' | grep -oE '[0-9.]+')
    [ -n "$own" ] && [ "$own" = "$shop" ]
}

start_app
main=$(open_main)
note "a cash order and a split one go up"
sell "$main" 40.5 50
sell "$main" 88 38 Tab space Return   # the split's 微信 takes the 50 left
poll_until 20 "the shop to have both orders" status_says '待上传：0' || fail "the orders did not go up: $(tavelko_cli --shop-status)"
poll_until 20 "the shop's day to be the till's" shop_equals_till \
    || fail "shop and till differ: $(tavelko_cli --takings --shop) / $(tavelko_cli --takings)"

note "the server stops: the till sells on"
server stop -m immediate || fail "the server did not stop"
sell "$main" 12 12
app_running || fail "the till ended while the server was away"
poll_until 20 "the link to be shown away" status_says '未连接' || fail "--shop-status does not tell the server is away: $(tavelko_cli --shop-status 2>&1)"

note "the server returns: within seconds the shop has the order, once"
server start || fail "the server did not start again"
poll_until 15 "the waiting order to go up" status_says '待上传：0' || fail "the order did not go up after the return"
poll_until 10 "the shop's day to be the till's" shop_equals_till \
    || fail "shop and till differ: $(tavelko_cli --takings --shop) / $(tavelko_cli --takings)"
orders=$(limited 30 psql -Atc "select count(*), count(distinct receipt_number) from tavelko.orders" \
    "postgresql://$PGUSER@$PGHOST:$PGPORT/$PGDATABASE")
[ "$orders" = "3|3" ] || fail "the shop holds orders twice or lacks one: $orders"
limited 30 psql -Atc "select receipt_number from tavelko.orders" "$uri" | grep -q "^$(date +%Y%m%d)-2-0003$" \
    || fail "the 单号 do not carry the till's number"
tavelko_cli --takings --shop >"$E2E_OUTPUT/shop-day.txt"
tavelko_cli --export-takings --shop today today "$E2E_OUTPUT/shop-day.csv" || fail "the shop's day was not exported"
grep -q "^$(date +%Y-%m-%d),2,前台,3,140.5," "$E2E_OUTPUT/shop-day.csv" \
    || fail "the export lacks the till's day: $(cat "$E2E_OUTPUT/shop-day.csv")"
quit_app
