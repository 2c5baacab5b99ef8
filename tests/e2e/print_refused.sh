#!/usr/bin/env bash
# A default printer that is stopped, one that refuses jobs, one that takes
# the job but cannot be reached: "打印" must not pass for a success; a message
# box gives the true reason, and the program goes on with the bill still
# there. Once the queue accepts again, the bill prints without a word.
. "$(dirname "$0")/lib.sh"
e2e_begin print_refused
require_tools cupsd lpadmin lpstat cupsdisable cupsenable cupsreject cupsaccept cancel

cups_start "$E2E_DIR/cups"
cups_add_printer closed_till
cups_set_default closed_till
cupsdisable -r "out of paper" closed_till
lpstat -p closed_till 2>&1 | grep -q 'disabled' || fail "the printer is not stopped: $(lpstat -p closed_till 2>&1)"

start_app
main=$(open_main)
click "$main" "${MAKE_BILL[@]}"

note "打印 on a stopped printer shows a message box"
click "$main" "${PRINT_BILL[@]}"
expect_print_failure "$main" "已停止"
[ "$(cups_job_count)" -eq 0 ] || fail "a job reached the printer although it is stopped"

note "the bill is still there"
printf '第1位\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   0元' >"$E2E_DIR/expected"
copy_bill_to "$main" "$E2E_DIR/copied"
expect_same_bytes "the bill after the refused print" "$E2E_DIR/expected" "$E2E_DIR/copied"

note "打印 on a queue that refuses jobs says it refused, with its reason"
cupsenable closed_till
cupsreject -r "纸卷用完" closed_till
lpstat -a closed_till 2>&1 | grep -q 'not accepting' || fail "the queue still accepts jobs: $(lpstat -a closed_till 2>&1)"
click "$main" "${PRINT_BILL[@]}"
expect_print_failure "$main" "拒绝接收打印任务"
[ "$(cups_job_count)" -eq 0 ] || fail "a job reached the printer although the queue refuses jobs"

note "the queue accepts again: the bill prints, and nothing is said"
cupsaccept closed_till
click "$main" "${PRINT_BILL[@]}"
cups_wait_jobs 1 || fail "the bill did not reach the printer"
expect_print_followed
expect_only_main "$main"

note "a queue whose printer cannot be reached: the job is taken, then the cashier is told"
cups_add_unreachable_printer far_till
cups_set_default far_till
click "$main" "${PRINT_BILL[@]}"
expect_print_failure "$main" "打印机“far_till”无法连接"
grep -q 'The printer may not exist\|unavailable\|unreachable' "$E2E_DIR/logs/tavelko-$APP_RUNS.log" \
    || fail "the message does not give the spooler's reason: $(grep -A1 '打印失败' "$E2E_DIR/logs/tavelko-$APP_RUNS.log")"
copy_bill_to "$main" "$E2E_DIR/copied-late"
expect_same_bytes "the bill after the job that did not print" "$E2E_DIR/expected" "$E2E_DIR/copied-late"

note "a job cancelled at the spooler before it printed: the cashier is told"
click "$main" "${PRINT_BILL[@]}"
# behind the one that still waits for the printer
jobs_queued() { [ "$(lpstat -o far_till | wc -l)" -ge 2 ]; }
poll_until 30 "the job to be queued" jobs_queued || fail "no job was queued"
cancel -a far_till
expect_print_failure "$main" "打印任务没有完成"

close_main "$main"
quit_app
