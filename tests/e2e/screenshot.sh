#!/usr/bin/env bash
# Screenshots of the welcome window, the main window and an order sheet, kept
# in the output folder, and a look at a few designed places in them: ink
# (dark pixels: text and rules) where a control is designed, none where the
# design leaves the window empty. A window is captured once it has been
# painted: a capture right after it shows may come before its first paint
# (all black), so each capture is taken again until its looks hold.
. "$(dirname "$0")/lib.sh"
e2e_begin screenshot

# shot WINDOW NAME LOOKS: saves an xwd screenshot of the window's client
# area once the window has been painted the way the function LOOKS expects.
# After 30 s of captures that do not look right, LOOKS runs once more on the
# last one and says what is wrong.
shot() {
    SHOT=$E2E_OUTPUT/$2.xwd
    poll_until 30 "$2 to be painted" looks_right "$1" "$3" 2>/dev/null || true
    take_shot "$1"
    "$3"
}

take_shot() {
    xwd -id "$1" -silent -out "$SHOT" || fail "xwd could not take $(basename "$SHOT")"
}

# looks_right WINDOW LOOKS: a fresh capture passes LOOKS (run in a subshell,
# where a failure only ends the subshell).
looks_right() {
    take_shot "$1" && ("$2") >/dev/null 2>&1
}

# Rectangles are given in twips, as designed, and looked at in pixels.
ink_in() {
    xhelper ink "$SHOT" $(($1 / 15)) $(($2 / 15)) $(($3 / 15)) $(($4 / 15)) \
        || fail "cannot read $SHOT"
}

expect_ink() {
    local what=$1 count
    shift
    count=$(ink_in "$@")
    [ "$count" -gt 0 ] || fail "$(basename "$SHOT"): nothing is drawn where $what is designed ($*)"
}

expect_blank() {
    local what=$1 count
    shift
    count=$(ink_in "$@")
    [ "$count" -eq 0 ] || fail "$(basename "$SHOT"): $count dark pixels where $what ($*)"
}

expect_black() {
    local what=$1 colour
    colour=$(xhelper pixel "$SHOT" $(($2 / 15)) $(($3 / 15))) || fail "cannot read $SHOT"
    [ "$colour" = 000000 ] || fail "$(basename "$SHOT"): $what is $colour at ($2, $3) twips, not black"
}

welcome_looks() {
    expect_ink "the greeting 欢迎光临" 360 120 5175 615
    expect_ink "the caption 菜单" 240 840 5415 8055
    expect_blank "the left margin lies" 0 0 225 9030
    expect_blank "the right margin lies" 5670 0 195 9030
}

main_looks() {
    local x y
    for y in 0 3000 6180; do
        expect_black "the vertical rule Line2" 8160 "$y"
    done
    for x in 0 4000 8145; do
        expect_black "the rule under the heading, Line1," "$x" 840
    done
    expect_ink "the heading 请选择类别" 120 120 7935 615
    expect_ink "the total L1" 360 4080 975 375
    expect_ink "the total L6" 6960 4080 975 375
    expect_blank "the gap between L1 and L2 lies" 1350 4080 315 375
    expect_ink "the grand total L7" 360 5040 3375 1095
    expect_ink "一键归零" 3960 4920 2325 1245
    expect_ink "清单" 8280 4920 975 1215
    expect_ink "复制" 9360 4920 975 1215
    expect_ink "打印" 10440 4920 975 1215
    expect_ink "结账" 8280 4260 2205 600
    expect_ink "店主" 10560 4260 855 600
    expect_ink "挂单" 8280 3600 975 600
    expect_ink "取单" 9360 3600 975 600
}

empty_bill_looks() {
    main_looks
    expect_blank "the bill pane, empty before 清单," 8190 0 3330 3540
}

bill_looks() {
    main_looks
    expect_ink "the bill's first line (Label2)" 8400 120 900 210
    expect_blank "the strip between the rule and the bill lies" 8190 0 195 3540
}

sheet_looks() {
    expect_ink "row 1's small quantity L1" 1800 480 255 255
    expect_ink "row 1's small + (Command4)" 2040 480 255 255
    expect_ink "row 14's large + (Command58)" 8640 5520 255 255
    expect_ink "row 14's line total La14" 9720 5520 615 375
    expect_ink "结算" 12960 120 1455 1455
    expect_ink "清零" 12960 2280 1455 1455
    expect_ink "关闭" 12960 4440 1455 1455
    expect_ink "小计" 10320 5520 1215 375
    expect_ink "the subtotal 面钱" 11880 5520 855 375
    expect_blank "the settle list, empty," 10500 180 2295 5100
    expect_blank "the blank dish names of the right half lie" 4950 0 1500 5985
}

start_app

note "welcome window"
shot "$WELCOME" welcome welcome_looks

note "main window"
main=$(open_main)
shot "$main" main empty_bill_looks

note "main window with a bill"
click "$main" "${MAKE_BILL[@]}"
settle_main "$main"
shot "$main" main-bill bill_looks

note "order sheet"
sheet=$(open_category "$main" 1)
shot "$sheet" sheet sheet_looks
close_sheet "$sheet" "$main"
close_main "$main"

note "shown again, after their pixels were given back while hidden"
main=$(open_main)
shot "$main" main-again bill_looks
sheet=$(open_category "$main" 1)
shot "$sheet" sheet-again sheet_looks
close_sheet "$sheet" "$main"
close_main "$main"
quit_app
