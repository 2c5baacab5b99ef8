#!/usr/bin/env bash
# A default printer that is stopped: "打印" must not pass for a success; a
# message box says the print failed, and the program goes on with the bill
# still there.
. "$(dirname "$0")/lib.sh"
e2e_begin print_refused
require_tools cupsd lpadmin lpstat cupsdisable

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
expect_message_box "$main"
[ "$(cups_job_count)" -eq 0 ] || fail "a job reached the printer although it is stopped"

note "the bill is still there"
printf '第1位\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   0元' >"$E2E_DIR/expected"
copy_bill_to "$main" "$E2E_DIR/copied"
expect_same_bytes "the bill after the refused print" "$E2E_DIR/expected" "$E2E_DIR/copied"

close_main "$main"
quit_app
