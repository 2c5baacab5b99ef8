#!/usr/bin/env bash
# Receipt printers: the bill is laid out on the default printer's own paper.
# An 80 mm roll that takes any length gets one page as long as the bill; a
# 58 mm roll its one page length; an A4 printer that also takes custom sizes
# stays on A4. On each every character of a long bill is on the paper, inside
# the printed width, at 9 pt or more.
. "$(dirname "$0")/lib.sh"
e2e_begin print_roll
require_tools cupsd lpadmin lpstat pdftotext

cups_start "$E2E_DIR/cups"
cups_add_printer roll80 "$E2E_HERE/data/roll80.ppd"
cups_add_printer roll58 "$E2E_HERE/data/roll58.ppd"
cups_add_printer office "$E2E_HERE/data/a4.ppd"
cups_set_default roll80

start_app
main=$(open_main)

note "a long bill: a dish name of 20 characters, quantities of two digits"
sheet=$(open_category "$main" 1)
set_dish_name "$sheet" 1 红烧牛肉面加卤蛋青菜香菜葱花辣椒油特大碗
set_heading "$sheet" small left 小份
set_heading "$sheet" large left 大份
set_price "$sheet" 1 small 6
set_price "$sheet" 1 large 8.5
press_quantity "$sheet" 1 small plus 12
press_quantity "$sheet" 1 large plus 10
click "$sheet" "${SETTLE[@]}"
close_sheet "$sheet" "$main"
click "$main" "${MAKE_BILL[@]}"
copy_bill_to "$main" "$E2E_DIR/bill"
grep -q '红烧牛肉面加卤蛋青菜香菜葱花辣椒油特大碗 12小份 10大份 157' "$E2E_DIR/bill" \
    || fail "the bill is not the one ordered: $(cat "$E2E_DIR/bill")"

# Every character of the bill, in order, once: nothing cut off.
expect_every_character() {
    local printed
    printed=$(pdftotext -raw -enc UTF-8 "$1" - | tr -d '[:space:]\f')
    [ "$printed" = "$(tr -d '[:space:]' <"$E2E_DIR/bill")" ] \
        || fail "the paper does not hold every character of the bill: $printed"
}

# queue, job number, paper width (pt), printed width (pt from the left edge),
# and the page length (pt), or fit for a page as long as the bill
cases=(
    "roll80 1 226.77 11.34 215.43 fit"
    "roll58 2 164.41 14.17 150.24 595.28"
    "office 3 595 12 583 842"
)
for c in "${cases[@]}"; do
    read -r queue job width left right length <<<"$c"
    note "打印 on the $queue roll"
    cups_set_default "$queue"
    click "$main" "${PRINT_BILL[@]}"
    cups_wait_jobs "$job" || fail "the bill did not reach $queue"
    expect_only_main "$main"
    file=$(cups_job_file "$job")
    expect_pdf "$file"
    cp "$file" "$E2E_OUTPUT/bill-$queue.pdf"
    expect_on_paper "$file" "$width" "$left" "$right" "$length"
    expect_every_character "$file"
done

close_main "$main"
quit_app
