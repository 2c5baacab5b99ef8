#!/usr/bin/env bash
# "打印" sends the bill to the default printer of a private CUPS server, whose
# raw queue hands Qt's PDF to a job sink; without a printer it says so in a
# message box and the program goes on.
. "$(dirname "$0")/lib.sh"
e2e_begin print
require_tools cupsd lpadmin lpstat pdftotext pdfinfo

cups_start "$E2E_DIR/cups"
cups_add_printer tavelko_bill
cups_set_default tavelko_bill

start_app
main=$(open_main)

note "打印 before any 清单 prints a document holding one empty line"
click "$main" "${PRINT_BILL[@]}"
cups_wait_jobs 1 || fail "no print job arrived"
job=$(cups_job_file 1)
expect_pdf "$job"
pdf_text_is_blank "$job" || fail "the empty bill printed as: $(pdftotext -enc UTF-8 "$job" -)"
pages=$(pdfinfo "$job" | sed -n 's/^Pages: *//p')
[ "$pages" = 1 ] || fail "the empty bill took $pages pages"
expect_print_followed
expect_only_main "$main"

note "a bill with one order prints its lines, Chinese included"
sheet=$(open_category "$main" 1)
set_dish_name "$sheet" 1 牛肉面
set_heading "$sheet" small left 小份
set_heading "$sheet" large left 大份
set_price "$sheet" 1 small 6
set_price "$sheet" 1 large 8
press_quantity "$sheet" 1 small plus 2
press_quantity "$sheet" 1 large plus 1
click "$sheet" "${SETTLE[@]}"
close_sheet "$sheet" "$main"
click "$main" "${MAKE_BILL[@]}"
click "$main" "${PRINT_BILL[@]}"
cups_wait_jobs 2 || fail "the bill did not reach the printer"
job=$(cups_job_file 2)
expect_pdf "$job"
printf '%s\n' 第1位 '牛肉面 2小份 1大份 20' '总计 20元' >"$E2E_DIR/expected-lines"
pdf_lines "$job" >"$E2E_DIR/printed-lines"
cp "$job" "$E2E_OUTPUT/bill.pdf"
diff -u "$E2E_DIR/expected-lines" "$E2E_DIR/printed-lines" >&2 || fail "the printed bill differs"
expect_line_layout "$job" 0 2 9
expect_print_followed
expect_only_main "$main"

note "the bill stays on screen after printing: 复制 still gives it"
printf '第1位\r\n\r\n牛肉面 2小份 1大份 20\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   20元' >"$E2E_DIR/expected"
copy_bill_to "$main" "$E2E_DIR/copied"
expect_same_bytes "the bill after printing" "$E2E_DIR/expected" "$E2E_DIR/copied"

note "printers but no default printer: a message box, nothing printed"
lpadmin -x tavelko_bill
cups_add_printer spare
lpstat -d 2>&1 | grep -q 'no system default' || fail "the server still has a default printer: $(lpstat -d 2>&1)"
click "$main" "${PRINT_BILL[@]}"
expect_print_failure "$main" "没有设置默认打印机"
[ "$(cups_job_count)" -eq 2 ] || fail "a job was printed without a default printer"

note "no printer at all: a message box, nothing printed"
lpadmin -x spare
click "$main" "${PRINT_BILL[@]}"
expect_message_box "$main"
[ "$(cups_job_count)" -eq 2 ] || fail "a job was printed without any printer"

note "no print server at all: a message box that says so, not that a default is missing"
cups_stop
click "$main" "${PRINT_BILL[@]}"
expect_print_failure "$main" "无法连接打印服务"

note "the program still works: 复制 gives the same bill"
copy_bill_to "$main" "$E2E_DIR/copied-after"
expect_same_bytes "the bill after the failed prints" "$E2E_DIR/expected" "$E2E_DIR/copied-after"

close_main "$main"
quit_app
