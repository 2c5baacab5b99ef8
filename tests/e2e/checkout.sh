#!/usr/bin/env bash
# Taking the money at the till: a 40.5 order settled as 40 (抹零) with 50 in
# cash, an 88 order split 微信 50 and 现金 38, one cleared with "一键归零"
# unpaid, then 交班 with 200 备用金 and a drawer 2 short. The receipts come
# off an 80 mm roll as long as their text, with the shop's name, 单号, time,
# the methods and the change; the cash-up says 短款 2.
. "$(dirname "$0")/lib.sh"
e2e_begin checkout
require_tools cupsd lpadmin lpstat pdftotext

cups_start "$E2E_DIR/cups"
cups_add_printer roll80 "$E2E_HERE/data/roll80.ppd"
cups_set_default roll80

# The owner's 店铺信息, as the window saves it beside the journal.
mkdir -p "$XDG_DATA_HOME/Tavelko"
printf '[shop]\nname=老王面馆\naddress=人民路 8 号\nphone=\nfooter=谢谢惠顾\n' >"$XDG_DATA_HOME/Tavelko/shop.ini"

CHECKOUT=(8280 4260 2205 600)   # "结账", above "清单", "复制", "打印"
OWNER=(10560 4260 855 600)      # "店主": the owner's menu
today=$(date +%Y%m%d)

# sell MAIN PRICE: one small portion of dish 1 of category 1 at PRICE, handed
# on to the main window.
sell() {
    local sheet
    sheet=$(open_category "$1" 1)
    set_price "$sheet" 1 small "$2"
    click "$sheet" "${CLEAR[@]}"
    press_quantity "$sheet" 1 small plus 1
    close_sheet "$sheet" "$1"
}

# open_checkout MAIN: the 结账 window, its focus in the cash amount.
open_checkout() {
    click "$1" "${CHECKOUT[@]}"
    local window
    window=$(wait_window '^结账$')
    wait_focus "$window"
}

# receipt_has JOB LINE...: the printed job holds every LINE (spaces folded).
receipt_has() {
    local job=$1 line
    shift
    pdf_lines "$(cups_job_file "$job")" >"$E2E_DIR/job-$job.txt"
    for line in "$@"; do
        grep -qxF -- "$line" "$E2E_DIR/job-$job.txt" \
            || fail "job $job lacks the line '$line':$(printf '\n%s' "$(cat "$E2E_DIR/job-$job.txt")")"
    done
}

start_app
main=$(open_main)
sheet=$(open_category "$main" 1)
set_dish_name "$sheet" 1 牛肉面
set_heading "$sheet" small left 小份
close_sheet "$sheet" "$main"

note "customer 1: 40.5, 抹零 to the 元, 50 in cash"
sell "$main" 40.5
open_checkout "$main"
xdotool key alt+r Down        # 抹零: 抹到元
xdotool type 50               # digits go to the cash amount
xdotool key Return            # 确认收款
wait_window_gone '^结账$'
cups_wait_jobs 1 || fail "the first receipt did not reach the printer"
receipt_has 1 老王面馆 '人民路 8 号' 结账单 "单号 $today-0001" '品名 数量 单价 金额' '牛肉面 小份 1 40.5 40.5' \
    '合计 40.5' '抹零 -0.5' '应收 40' '现金 40' '实收现金 50' '找零 10' 谢谢惠顾
grep -qE "^时间 $(date +%Y-%m-%d) [0-9]{2}:[0-9]{2}:[0-9]{2}$" "$E2E_DIR/job-1.txt" || fail "the receipt has no time"
grep -q '电话' "$E2E_DIR/job-1.txt" && fail "a blank phone number left a line"
expect_pdf "$(cups_job_file 1)"
expect_on_paper "$(cups_job_file 1)" 226.77 11.34 215.43 fit
cp "$(cups_job_file 1)" "$E2E_OUTPUT/receipt.pdf"

note "customer 2: 88, 现金 38 typed, then 微信 takes the rest"
sell "$main" 88
open_checkout "$main"
xdotool type 38
xdotool key Tab space         # 微信, which takes the 50 left
xdotool key Return
wait_window_gone '^结账$'
cups_wait_jobs 2 || fail "the second receipt did not reach the printer"
receipt_has 2 "单号 $today-0002" '合计 88' '应收 88' '现金 38' '微信 50' '实收现金 38' '找零 0'

note "customer 3: cleared with 一键归零, unpaid"
sell "$main" 12
click "$main" "${RESET_ALL[@]}"

note "结账 with nothing on the window is told, not opened"
click "$main" "${CHECKOUT[@]}"
box=$(wait_window '^Tavelko$')   # the message box; the welcome window is hidden
no_visible '^结账$' || fail "结账 opened for an order of 0"
xdotool key Return
wait_window_gone '^Tavelko$'

note "交班: 备用金 200, counted 276 against 278 expected"
before=$(find_visible '')
click "$main" "${OWNER[@]}"
new_visible() { [ -n "$(comm -13 <(echo "$1" | sort) <(find_visible '' | sort))" ]; }
poll_until 10 "the owner's menu to show" new_visible "$before" || fail "店主 opened no menu"
xdotool key Down Down Return  # 营业记录…, 交班…
cashup=$(wait_window '^交班$')
wait_focus "$cashup"
xdotool key ctrl+a
xdotool type 200
xdotool key Tab ctrl+a
xdotool type 276
xdotool key Return            # 交班并打印
wait_window_gone '^交班$'
cups_wait_jobs 3 || fail "the cash-up did not reach the printer"
receipt_has 3 老王面馆 '已结账 2单 合计 128.5' '抹零合计 0.5' '营业额（应收） 128' '现金 78' '微信 50' \
    '未结账 1单 合计 12' '挂单 0张 合计 0' \
    '备用金 200' '收现金 88' '找零 10' '应有现金 278' '实点现金 276' '短款 2' '留作备用金 200'
expect_on_paper "$(cups_job_file 3)" 226.77 11.34 215.43 fit
cp "$(cups_job_file 3)" "$E2E_OUTPUT/cash-up.pdf"
cp "$E2E_DIR/job-1.txt" "$E2E_OUTPUT/receipt.txt"
cp "$E2E_DIR/job-3.txt" "$E2E_OUTPUT/cash-up.txt"

note "a second 交班 with nothing since is told"
before=$(find_visible '')
click "$main" "${OWNER[@]}"
poll_until 10 "the owner's menu to show" new_visible "$before" || fail "店主 opened no menu"
xdotool key Down Down Return
box=$(wait_window '^Tavelko$')
no_visible '^交班$' || fail "交班 opened with nothing since the last"
xdotool key Return
wait_window_gone '^Tavelko$'

close_main "$main"
quit_app
