#!/usr/bin/env bash
# One order from the sheet to the clipboard: prices 6 and 8 on row 1, two
# small and one large, "结算", "关闭", "清单", "复制".
. "$(dirname "$0")/lib.sh"
e2e_begin road_of_one_order

start_app
main=$(open_main)
sheet=$(open_category "$main" 1)
expect_client_size "$sheet" "$SHEET_SIZE"

note "a sheet refuses to be closed from its title bar"
close_window "$sheet"
# The input box opening proves the close request has been handled.
# shellcheck disable=SC2046
settle_app "$sheet" $(dish_name_point 1)
window_visible "$sheet" || fail "the sheet closed from its title bar"
if window_visible "$main"; then
    fail "the main window showed while the sheet is open"
fi

note "dish name, headings and prices of row 1"
set_dish_name "$sheet" 1 牛肉面
set_heading "$sheet" small left 小份
set_heading "$sheet" large left 大份
set_price "$sheet" 1 small 6
set_price "$sheet" 1 large 8

note "small + twice, large + once, 结算, 关闭"
press_quantity "$sheet" 1 small plus 2
press_quantity "$sheet" 1 large plus 1
click "$sheet" "${SETTLE[@]}"
close_sheet "$sheet" "$main"

note "关闭 stored the sheet's captions"
expect_ini_value Form3 Label1 牛肉面
expect_ini_value Form3 Label8 小份
expect_ini_value Form3 Label45 大份
expect_ini_value Form3 l01 6
expect_ini_value Form3 l02 8
expect_ini_value Form3 l03 " "

note "清单 and 复制 put the bill on the clipboard, byte for byte"
click "$main" "${MAKE_BILL[@]}"
printf '第1位\r\n\r\n牛肉面 2小份 1大份 20\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   20元' >"$E2E_DIR/expected"
copy_bill_to "$main" "$E2E_DIR/copied"
expect_same_bytes "the copied bill" "$E2E_DIR/expected" "$E2E_DIR/copied"

note "复制 twice leaves one copy"
click "$main" "${COPY_BILL[@]}"
copy_bill_to "$main" "$E2E_DIR/copied-twice"
expect_same_bytes "the bill copied twice" "$E2E_DIR/expected" "$E2E_DIR/copied-twice"

note "the sheet keeps its counts: back on it, 关闭 again hands off the same order"
sheet=$(open_category "$main" 1)
close_sheet "$sheet" "$main"
click "$main" "${MAKE_BILL[@]}"
printf '第2位\r\n\r\n牛肉面 2小份 1大份 20\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   20元' >"$E2E_DIR/expected-2"
copy_bill_to "$main" "$E2E_DIR/copied-2"
expect_same_bytes "the second bill" "$E2E_DIR/expected-2" "$E2E_DIR/copied-2"

close_main "$main"
quit_app
