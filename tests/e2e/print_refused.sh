#!/usr/bin/env bash
# A default printer that is stopped, then one that refuses jobs: "打印" must
# not pass for a success; a message box gives the true reason, and the program
# goes on with the bill still there. Once the queue accepts again, the bill
# prints without a word.
. "$(dirname "$0")/lib.sh"
e2e_begin print_refused
require_tools cupsd lpadmin lpstat cupsdisable cupsenable cupsreject cupsaccept

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
expect_only_main "$main"

close_main "$main"
quit_app
