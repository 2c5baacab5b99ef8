#!/usr/bin/env bash
# The order on the windows survives any crash: round after round the program
# is started once and killed (SIGKILL) at a random moment along the road of
# one order (a hand-off from the sheet, 清单, 结账 with the cash typed and
# confirmed, or 一键归零), some rounds within a few milliseconds of the press
# that ends the order. Before each start the journal's file is read as it was
# left: the order is either still the order on the windows, as it was, or
# recorded once; never lost, never both. An order kept on the windows comes
# back onto them at the next start, says so, shows its total on the bill, and
# goes on along its road from there.
. "$(dirname "$0")/lib.sh"
e2e_begin crash_loop
require_tools sqlite3

ROUNDS=${CRASH_ROUNDS:-50}
CHECKOUT=(8280 4260 2205 600)   # "结账"
PRICE=3                         # 元, dish 1 of category 1, small
DB=$XDG_DATA_HOME/Tavelko/journal.sqlite

mkdir -p "$XDG_DATA_HOME/Tavelko"
printf '[shop]\nname=老王面馆\n[payment]\nprintReceipt=false\n' >"$XDG_DATA_HOME/Tavelko/shop.ini"

# sql FILE QUERY: one answer of a journal's file, read by another connection.
sql() {
    timeout 10 sqlite3 -batch -noheader -cmd '.timeout 5000' "$1" "$2"
}

# The file as the killed program left it: ON_WINDOWS "count total_fen" of the
# orders kept on the windows, RECORDED the orders recorded, LAST_TOTAL the
# latest one's grand total in 分. Read from a copy (with its -wal), so that
# the program still finds its journal as the kill left it.
read_journal() {
    local copy=$E2E_DIR/left
    rm -rf "$copy" && mkdir -p "$copy"
    cp "$DB"* "$copy/"
    copy=$copy/journal.sqlite
    ON_WINDOWS=$(sql "$copy" "SELECT count(*) || ' ' || coalesce(sum(total_fen), 0) FROM current_order")
    RECORDED=$(sql "$copy" "SELECT count(*) FROM orders")
    LAST_TOTAL=$(sql "$copy" "SELECT coalesce(CAST(round(grand_total * 100) AS INTEGER), 0) FROM orders ORDER BY id DESC LIMIT 1")
    LAST_TOTAL=${LAST_TOTAL:-0}
}

# The welcome window, told apart by its size from the message that may show
# beside it at once: its id goes to FOUND.
welcome_shown() {
    local w
    for w in $(find_visible '^Tavelko$'); do
        window_geometry "$w"
        if [ "${WIN_W}x${WIN_H}" = "$WELCOME_SIZE" ]; then
            FOUND=$w
            return 0
        fi
    done
    return 1
}

# start_app, where the welcome window may not be the only window titled Tavelko.
start_app_beside_message() {
    APP_RUNS=$((APP_RUNS + 1))
    "$TAVELKO" >"$E2E_DIR/logs/tavelko-$APP_RUNS.log" 2>&1 &
    APP_PID=$!
    poll_until 30 "the welcome window" welcome_shown || fail "no welcome window"
    WELCOME=$FOUND  # shellcheck disable=SC2034  # read by lib.sh
}

kept_on_windows() {
    [ "$(sql "$DB" "SELECT count(*) FROM current_order WHERE total_fen = $1")" = 1 ]
}

# The journal's log file as it stands: its size and when it was written.
wal_state() {
    stat -c '%s %y' "$DB-wal" 2>/dev/null || true
}

# In the road's subshell: every wait gives up at once when the program is
# gone, so that a kill ends the road rather than a 30-second wait.
road_poll_until() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    while :; do
        "$@" && return 0
        process_alive "$APP_PID" || exit 3
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "timed out after ${seconds}s waiting for $what" >&2
            return 1
        fi
        sleep 0.02
    done
}

# road KIND QUANTITY RESTORED KILL_AFTER_END_MS: one order along its road in
# the running program; progress goes to $E2E_DIR/progress ("durable" once
# the journal holds the order on the windows, "ended" once 结账 or 一键归零
# was pressed). KILL_AFTER_END_MS >= 0 kills the program that long after the
# press that ends the order.
road() {
    local kind=$1 quantity=$2 restored=$3 kill_after=$4 main sheet
    poll_until() { road_poll_until "$@"; }
    main=$(open_main)
    if [ "$restored" = yes ]; then
        click "$main" "${MAKE_BILL[@]}"
        copy_bill_to "$main" "$E2E_DIR/bill.txt"
        grep -q "总计   $((PRICE * quantity))元" "$E2E_DIR/bill.txt" \
            || { echo "BILL: the order came back as: $(cat "$E2E_DIR/bill.txt")" >&2; exit 4; }
    else
        sheet=$(open_category "$main" 1)
        press_quantity "$sheet" 1 small plus "$quantity"
        close_sheet "$sheet" "$main"
        poll_until 10 "the order on the windows in the journal" kept_on_windows $((PRICE * quantity * 100)) \
            || exit 5
        echo durable >"$E2E_DIR/progress"
        click "$main" "${MAKE_BILL[@]}"
    fi
    local wal_before
    if [ "$kind" = pay ]; then
        click "$main" "${CHECKOUT[@]}"
        local window
        window=$(wait_window '^结账$')
        wait_focus "$window"
        xdotool type 100
        wal_before=$(wal_state)
        xdotool key Return
    else
        wal_before=$(wal_state)
        click "$main" "${RESET_ALL[@]}"
    fi
    echo ended >"$E2E_DIR/progress"
    if [ "$kill_after" = 0 ]; then
        # The moment the first write after the press reaches the journal's
        # log: what ends the order must be whole in that one write.
        local deadline=$((SECONDS + 3))
        while [ "$(wal_state)" = "$wal_before" ] && [ "$SECONDS" -lt "$deadline" ]; do :; done
        kill -KILL "$APP_PID"
    elif [ "$kill_after" -gt 0 ]; then
        sleep "$(printf '0.%03d' "$kill_after")"
        kill -KILL "$APP_PID"
    fi
    exit 0
}

note "the dish: 3 元 a small portion"
start_app
main=$(open_main)
sheet=$(open_category "$main" 1)
set_dish_name "$sheet" 1 牛肉面
set_price "$sheet" 1 small "$PRICE"
close_sheet "$sheet" "$main"
close_main "$main"
quit_app
read_journal
[ "$ON_WINDOWS" = "0 0" ] && [ "$RECORDED" = 0 ] || fail "an empty window was kept or recorded: $ON_WINDOWS, $RECORDED"

road_ms=1500      # how long the last whole road took
recorded=0        # orders the journal holds
quantity=0        # the order on its road: its portions, 0 while there is none
progress=none
restored_rounds=0
recorded_rounds=0
started=$SECONDS
# check_journal ROUND: what the kill before ROUND left is one of: the order
# still on the windows, as it was; recorded once; or nothing, when the order
# never reached the journal. Sets `restored` and starts a new order otherwise.
check_journal() {
    local round=$1 total
    read_journal
    total=$((PRICE * quantity * 100))
    case "$ON_WINDOWS/$RECORDED" in
        "1 $total/$recorded")
            [ "$quantity" -gt 0 ] || fail "round $round: an order came back that was never on the windows"
            restored=yes
            restored_rounds=$((restored_rounds + 1)) ;;
        "0 0/$((recorded + 1))")
            [ "$quantity" -gt 0 ] && [ "$LAST_TOTAL" = "$total" ] \
                || fail "round $round: recorded an order of $LAST_TOTAL 分, expected $total"
            recorded=$((recorded + 1))
            recorded_rounds=$((recorded_rounds + 1))
            quantity=0
            restored=no ;;
        "0 0/$recorded")
            [ "$progress" = none ] || fail "round $round: the order of $total 分 is lost (reached: $progress)"
            quantity=0
            restored=no ;;
        *)
            fail "round $round: the order of $total 分 (reached: $progress) is on the windows as '$ON_WINDOWS'" \
                "with $RECORDED orders recorded, $recorded before it: both, twice or not as it was" ;;
    esac
}

for ((round = 1; round <= ROUNDS; round++)); do
    check_journal "$round"
    [ "$restored" = no ] && quantity=$((round % 4 + 1))
    kind=pay
    [ $((round % 3)) = 0 ] && kind=clear
    kill_after=-1
    # Some rounds are killed just after the press that ends the order: half
    # of them as its first write lands, the others up to 30 ms later.
    [ $((round % 3)) = 1 ] && kill_after=$((round % 2 * (RANDOM % 30 + 1)))
    : >"$E2E_DIR/progress"
    [ "$restored" = yes ] && echo durable >"$E2E_DIR/progress"

    start_app_beside_message
    if [ "$restored" = yes ]; then
        poll_until 30 "the message that the order came back" one_message_box \
            || fail "round $round: the order kept on the windows came back without a word"
        box=$FOUND
        wait_focus "$box"
        xdotool key Return
        poll_until 10 "the message to close" window_hidden "$box" || fail "Enter did not close the message"
    fi
    killer=
    if [ "$kill_after" -lt 0 ]; then
        # Anywhere along the road, as long as the last whole road took.
        delay=$(((RANDOM * 32768 + RANDOM) % (road_ms + 100)))
        (sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"; kill -KILL "$APP_PID" 2>/dev/null) &
        killer=$!
    fi
    code=0
    road_began=$(date +%s%3N)
    (road "$kind" "$quantity" "$restored" "$kill_after") 2>>"$E2E_DIR/logs/road.log" || code=$?
    [ "$code" = 0 ] && road_ms=$(($(date +%s%3N) - road_began))
    progress=$(cat "$E2E_DIR/progress")
    progress=${progress:-none}
    [ "$code" = 4 ] && fail "round $round: $(grep BILL "$E2E_DIR/logs/road.log" | tail -n1)"
    if process_alive "$APP_PID" && [ "$code" != 0 ]; then
        fail "round $round: the road stopped (code $code) with the program alive: $(tail -n3 "$E2E_DIR/logs/road.log")"
    fi
    [ -n "$killer" ] && { wait "$killer" 2>/dev/null || true; }
    kill -KILL "$APP_PID" 2>/dev/null || true
    poll_until 10 "the program to die" process_ended "$APP_PID" || fail "the program survived SIGKILL"
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=
done
check_journal $((ROUNDS + 1))
note "$ROUNDS rounds in $((SECONDS - started)) s: $recorded orders recorded, $restored_rounds starts brought one back"
echo "$ROUNDS rounds, $recorded orders recorded, $restored_rounds restored, $((SECONDS - started)) s" >"$E2E_OUTPUT/figures.txt"
[ "$restored_rounds" -gt 0 ] || fail "no round brought an order back: the kills never met an order on the windows"
[ "$recorded_rounds" -gt 0 ] || fail "no order was recorded"
