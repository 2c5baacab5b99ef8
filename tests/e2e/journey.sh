#!/usr/bin/env bash
# A day at the till: the restaurant names two categories and some dishes,
# a customer orders from both, the cashier bills, copies and prints, clears
# everything for the next customer and closes; the next start finds the
# names and prices again.
. "$(dirname "$0")/lib.sh"
e2e_begin journey
require_tools cupsd lpadmin lpstat pdftotext

cups_start "$E2E_DIR/cups"
cups_add_printer till
cups_set_default till

start_app
main=$(open_main)

note "name two categories"
rename_category "$main" 1 面条
rename_category "$main" 2 小炒

note "noodles: two dishes, one in each half, with their headings and prices"
sheet=$(open_category "$main" 1)
expect_title "$sheet" 面条
set_heading "$sheet" small left 小份
set_heading "$sheet" large left 大份
set_heading "$sheet" small right 小份
set_heading "$sheet" large right 大份
set_dish_name "$sheet" 1 牛肉面
set_price "$sheet" 1 small 6
set_price "$sheet" 1 large 8
set_dish_name "$sheet" 9 炸酱面
set_price "$sheet" 9 small 7.5
set_price "$sheet" 9 large 10
press_quantity "$sheet" 1 small plus 2
press_quantity "$sheet" 1 large plus 1          # 2 x 6 + 1 x 8 = 20
press_quantity "$sheet" 9 large plus 2
press_quantity "$sheet" 9 small plus 1          # 1 x 7.5 + 2 x 10 = 27.5
click "$sheet" "${SETTLE[@]}"
close_sheet "$sheet" "$main"

note "stir-fries: one dish, headings left blank, a miscount cleared, a press undone by its minus"
sheet=$(open_category "$main" 2)
expect_title "$sheet" 小炒
set_dish_name "$sheet" 2 宫保鸡丁
set_price "$sheet" 2 small 18
set_price "$sheet" 2 large 28
press_quantity "$sheet" 2 large plus 3
click "$sheet" "${CLEAR[@]}"
press_quantity "$sheet" 2 small plus 1
press_quantity "$sheet" 2 large plus 1
press_quantity "$sheet" 2 small minus 1         # 0 x 18 + 1 x 28 = 28
# No "结算" here: "关闭" settles by itself.
close_sheet "$sheet" "$main"

note "清单 and 复制: the bill of both categories, byte for byte"
click "$main" "${MAKE_BILL[@]}"
printf '%s' '第1位' $'\r\n' \
    $'\r\n牛肉面 2小份 1大份 20\r\n炸酱面 1小份 2大份 27.5' $'\r\n' \
    $'\r\n宫保鸡丁 0  1  28' $'\r\n' \
    '' $'\r\n' '' $'\r\n' '' $'\r\n' '' $'\r\n\r\n' \
    '总计   75.5元' >"$E2E_DIR/expected-bill"
copy_bill_to "$main" "$E2E_DIR/bill"
expect_same_bytes "the first bill" "$E2E_DIR/expected-bill" "$E2E_DIR/bill"

note "打印: the printer receives the same bill"
click "$main" "${PRINT_BILL[@]}"
cups_wait_jobs 1 || fail "the bill did not reach the printer"
expect_pdf "$(cups_job_file 1)"
printf '%s\n' 第1位 '牛肉面 2小份 1大份 20' '炸酱面 1小份 2大份 27.5' '宫保鸡丁 0 1 28' '总计 75.5元' \
    >"$E2E_DIR/expected-lines"
pdf_lines "$(cups_job_file 1)" >"$E2E_DIR/printed-lines"
diff -u "$E2E_DIR/expected-lines" "$E2E_DIR/printed-lines" >&2 || fail "the printed bill differs"
expect_line_layout "$(cups_job_file 1)" 0 2 3 5 11
expect_only_main "$main"

note "一键归零, then 清单: the next number and an empty bill"
click "$main" "${RESET_ALL[@]}"
click "$main" "${MAKE_BILL[@]}"
printf '第2位\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   0元' >"$E2E_DIR/expected-empty"
copy_bill_to "$main" "$E2E_DIR/empty-bill"
expect_same_bytes "the bill after 一键归零" "$E2E_DIR/expected-empty" "$E2E_DIR/empty-bill"

note "the sheets were cleared too: closing one hands off nothing"
sheet=$(open_category "$main" 1)
close_sheet "$sheet" "$main"
click "$main" "${MAKE_BILL[@]}"
printf '第3位\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   0元' >"$E2E_DIR/expected-empty-3"
copy_bill_to "$main" "$E2E_DIR/empty-bill-3"
expect_same_bytes "the bill after clearing" "$E2E_DIR/expected-empty-3" "$E2E_DIR/empty-bill-3"

note "关闭 and quit: names and prices are in the settings file"
close_main "$main"
quit_app
expect_ini_value Form2 C1 面条
expect_ini_value Form2 C2 小炒
expect_ini_value Form3 l01 6
expect_ini_value Form3 l02 8
expect_ini_value Form3 l07 7.5
expect_ini_value Form3 l08 10
expect_ini_value Form4 l05 18
expect_ini_value Form4 l06 28

note "restart: names and prices are back, the counts are not"
start_app
main=$(open_main)
[ "$(category_name "$main" 1)" = 面条 ] || fail "C1 lost its name"
[ "$(category_name "$main" 2)" = 小炒 ] || fail "C2 lost its name"
sheet=$(open_category "$main" 1)
# shellcheck disable=SC2046
{
    [ "$(prefill_of "$sheet" $(dish_name_point 1))" = 牛肉面 ] || fail "row 1 of 面条 lost its dish name"
    [ "$(prefill_of "$sheet" $(dish_name_point 9))" = 炸酱面 ] || fail "row 9 of 面条 lost its dish name"
    [ "$(prefill_of "$sheet" $(price_point 9 small))" = 7.5 ] || fail "row 9 of 面条 lost its small price"
    [ "$(prefill_of "$sheet" $(heading_point large right))" = 大份 ] || fail "the right large heading was lost"
}
press_quantity "$sheet" 1 large plus 1
close_sheet "$sheet" "$main"
sheet=$(open_category "$main" 2)
# shellcheck disable=SC2046
[ "$(prefill_of "$sheet" $(dish_name_point 2))" = 宫保鸡丁 ] || fail "row 2 of 小炒 lost its dish name"
close_sheet "$sheet" "$main"
click "$main" "${MAKE_BILL[@]}"
printf '第1位\r\n\r\n牛肉面 0小份 1大份 8\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   8元' >"$E2E_DIR/expected-restart"
copy_bill_to "$main" "$E2E_DIR/restart-bill"
expect_same_bytes "the first bill after a restart" "$E2E_DIR/expected-restart" "$E2E_DIR/restart-bill"

close_main "$main"
quit_app
