#!/usr/bin/env bash
# Two tables at once with a kitchen printer: table 3 and table 5 are put
# aside (挂单), each sending its dishes to the kitchen first; the program is
# killed and started again; table 3 comes back (取单), gets one more bowl and
# 下单 sends only that bowl, then one bowl less and 下单 sends one 退菜 line;
# table 3 is cleared, and table 5 is still aside with its quantities. The
# tickets come off an 80 mm roll in large type, without prices. Table 5 comes
# back with one more bowl and 结账 is pressed while the kitchen's queue is
# stopped: nothing is paid until the owner chooses; once the queue runs, 重试
# prints the bowl under the next number (none skipped) and the payment goes on.
# Then the kitchen's printer cannot be reached: the ticket is taken, 结账 goes
# on, and when the ticket fails the owner is told which dishes the kitchen lacks.
. "$(dirname "$0")/lib.sh"
e2e_begin tables
require_tools cupsd lpadmin lpstat pdftotext cupsdisable cupsenable

cups_start "$E2E_DIR/cups"
cups_add_printer counter80 "$E2E_HERE/data/roll80.ppd"
cups_add_printer kitchen80 "$E2E_HERE/data/roll80.ppd"
cups_set_default counter80

mkdir -p "$XDG_DATA_HOME/Tavelko"
printf '[shop]\nname=老王面馆\n[kitchen]\nprinter=kitchen80\n' >"$XDG_DATA_HOME/Tavelko/shop.ini"

start_app
main=$(open_main)
sheet=$(open_category "$main" 1)
set_dish_name "$sheet" 1 牛肉面
set_dish_name "$sheet" 2 炒青菜
set_price "$sheet" 1 small 12
set_price "$sheet" 2 large 18
set_heading "$sheet" small left 小份
set_heading "$sheet" large left 大份

note "table 3: two 牛肉面, put aside; the kitchen gets them first"
press_quantity "$sheet" 1 small plus 2
close_sheet "$sheet" "$main"
hold "$main" 3
cups_wait_jobs 1 || fail "putting table 3 aside sent nothing to the kitchen"
ticket_is 1 '牛肉面 小份 ×2'
grep -qxF '3号桌' "$E2E_DIR/ticket-1.txt" || fail "the ticket does not name table 3: $(cat "$E2E_DIR/ticket-1.txt")"
expect_on_paper "$(cups_job_file 1)" 226.77 11.34 215.43 fit
pdftotext -bbox -enc UTF-8 "$(cups_job_file 1)" - | awk '
    function attr(name) { match($0, name "=\"[0-9.]+\""); return substr($0, RSTART + length(name) + 2, RLENGTH - length(name) - 3) + 0 }
    /<word / && /牛肉面/ { h = attr("yMax") - attr("yMin"); if (h < 15.5) { printf "牛肉面 is %.1f pt high\n", h; exit 1 } found = 1 }
    END { if (!found) { print "no 牛肉面 on the ticket"; exit 1 } }' >&2 || fail "the kitchen's type is not large"
cp "$(cups_job_file 1)" "$E2E_OUTPUT/ticket.pdf"

note "table 5: one large 炒青菜, put aside"
sheet=$(open_category "$main" 1)
press_quantity "$sheet" 2 large plus 1
close_sheet "$sheet" "$main"
hold "$main" 5
cups_wait_jobs 2 || fail "putting table 5 aside sent nothing to the kitchen"
ticket_is 2 '炒青菜 大份 ×1'

note "killed with both tables aside, then started again"
kill -KILL "$APP_PID"
poll_until 10 "the program to die" process_ended "$APP_PID" || fail "the program survived SIGKILL"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
start_app
main=$(open_main)

note "table 3 back: one more bowl, and 下单 sends only that bowl"
recall "$main"
sheet=$(open_category "$main" 1)
press_quantity "$sheet" 1 small plus 1
close_sheet "$sheet" "$main"
click "$main" "${KITCHEN[@]}"
cups_wait_jobs 3 || fail "下单 sent nothing"
ticket_is 3 '牛肉面 小份 ×1'

note "one bowl less: 下单 sends one 退菜 line"
sheet=$(open_category "$main" 1)
press_quantity "$sheet" 1 small minus 1
close_sheet "$sheet" "$main"
click "$main" "${KITCHEN[@]}"
cups_wait_jobs 4 || fail "下单 sent nothing for the bowl taken away"
ticket_is 4 '★退：牛肉面 小份 ×1'

note "table 3 cleared; 下单 again has nothing to send"
click "$main" "${RESET_ALL[@]}"
settle_main "$main"

note "table 5 is still aside, with its quantities"
recall "$main"
click "$main" "${MAKE_BILL[@]}"
copy_bill_to "$main" "$E2E_DIR/bill.txt"
grep -q '炒青菜 0小份 1大份 18' "$E2E_DIR/bill.txt" || fail "table 5 came back as: $(cat "$E2E_DIR/bill.txt")"
grep -q '总计   18元' "$E2E_DIR/bill.txt" || fail "table 5's total: $(cat "$E2E_DIR/bill.txt")"
grep -q '牛肉面' "$E2E_DIR/bill.txt" && fail "table 3's dishes came back with table 5: $(cat "$E2E_DIR/bill.txt")"
[ "$(cups_job_count)" -eq 4 ] || fail "a dish was sent to the kitchen twice: $(cups_job_count) jobs"

note "table 5 gets one 牛肉面; 结账 with the kitchen's queue stopped asks first"
sheet=$(open_category "$main" 1)
press_quantity "$sheet" 1 small plus 1
close_sheet "$sheet" "$main"
timeout 10 cupsdisable -r "卡纸" kitchen80 || fail "cupsdisable failed"
click "$main" "${CHECKOUT[@]}"
box=$(wait_window '^厨房单没有打印$')
no_visible '^结账$' || fail "the payment opened before the kitchen had its ticket"
timeout 10 cupsenable kitchen80 || fail "cupsenable failed"
wait_focus "$box"
timeout 10 xdotool key Return   # 重试, the default
cups_wait_jobs 5 || fail "重试 sent nothing to the kitchen"
ticket_is 5 '牛肉面 小份 ×1'
for n in 1 2 3 4 5; do   # the failed try used no number
    grep -qxF "后厨单 第${n}号" "$E2E_DIR/ticket-$n.txt" \
        || fail "ticket $n is not numbered $n: $(head -n 1 "$E2E_DIR/ticket-$n.txt")"
done
window=$(wait_window '^结账$')
wait_focus "$window"
timeout 10 xdotool type 50
timeout 10 xdotool key Return   # 确认收款
wait_window_gone '^结账$'
cups_wait_jobs 6 || fail "the receipt did not print"
pdf_lines "$(cups_job_file 6)" | grep -qxF '合计 30' || fail "the receipt: $(pdf_lines "$(cups_job_file 6)")"

note "the kitchen's printer cannot be reached: the spooler takes the ticket and 结账 goes on; when it fails the owner hears which dishes the kitchen lacks"
for port in $(seq 47100 47200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
done
timeout 10 lpadmin -p kitchen80 -v "socket://127.0.0.1:$port" || fail "lpadmin could not move kitchen80"
sheet=$(open_category "$main" 1)
press_quantity "$sheet" 2 large plus 1
close_sheet "$sheet" "$main"
click "$main" "${CHECKOUT[@]}"
window=$(wait_window '^结账$')
wait_focus "$window"
timeout 10 xdotool type 20
timeout 10 xdotool key Return
wait_window_gone '^结账$'
log=$E2E_DIR/logs/tavelko-$APP_RUNS.log
poll_until 60 "the kitchen's missing ticket to be told" grep -q '请告诉厨房' "$log" \
    || fail "the ticket that never printed was not told: $(grep -A2 '打印' "$log")"
grep -A3 '请告诉厨房' "$log" | grep -qxF '炒青菜 大份 ×1' || fail "the dishes the kitchen lacks: $(grep -A3 '请告诉厨房' "$log")"
expect_message_box "$main"
close_main "$main"
quit_app
