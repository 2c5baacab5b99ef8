#!/usr/bin/env bash
# The road of one order by keys alone with Debian's screen reader Orca
# listening, checked by what Orca says: its debug log holds every utterance
# ("SPEECH OUTPUT: '...'"), so no audio is needed. The program runs on a
# private session bus with the AT-SPI bus, under openbox (Orca follows the
# window manager's focus), and turns its accessibility on because Orca runs.
# F2 names the first category 面条, Enter opens it, the row's menu names dish
# 1 牛肉面 and prices its small portion 10, "+" twice, 结算, the settle list
# read with the arrow keys, 关闭, Tab through the main window to 清单, the
# bill read with the arrow keys, 结账 left by Escape, 复制, 店主菜单, 挂单 as
# table 3, 取单 of it (a list, the table and its total told), 结账 with 50 in
# cash (the change told once the typing pauses, the payment once it is
# taken), 一键归零, Shift+F10 for the owner's menu and 营业记录 (its tables
# named, an order read with its columns' names, voided), the menu key for
# 交班 (the difference told as the drawer is counted). What Orca said at each step goes to
# orca-said.txt in the case's output folder. Orca's own words ("push
# button", "list") are English here, as the case runs in the C.UTF-8 locale.
. "$(dirname "$0")/lib.sh"
e2e_begin orca_road
require_tools openbox xprop
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if ! [ -x /usr/bin/orca ] || ! limited "$TOOL_LIMIT" "$python" -c 'import pyatspi' 2>/dev/null; then
    fail "orca is missing: run scripts/install-deps.sh test (make test does)"
fi

OPENBOX_PID=
ORCA_PID=
orca_cleanup() {
    local status=$?
    stop_process "$APP_PID"
    APP_PID=
    stop_process "$ORCA_PID"
    stop_process "$OPENBOX_PID"
    stop_a11y_bus
    [ -f "$ORCA_LOG" ] && cp "$ORCA_LOG" "$E2E_OUTPUT/orca-debug.log"
    e2e_cleanup "$status"
}
ORCA_LOG=$E2E_DIR/logs/orca.log
trap orca_cleanup EXIT
SAID=$E2E_OUTPUT/orca-said.txt
: >"$SAID"
# Orca answers within a second here; a loaded machine may take far longer.
PATIENCE=${ORCA_PATIENCE:-90}

note "a private session bus, the AT-SPI bus, openbox and Orca"
start_a11y_bus
openbox --sm-disable >"$E2E_DIR/logs/openbox.log" 2>&1 &
OPENBOX_PID=$!
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
poll_until 30 "openbox" wm_up || fail "openbox did not start"
mkdir -p "$E2E_DIR/orca-prefs"
"$python" "$E2E_HERE/helpers/orca_logged.py" --user-prefs "$E2E_DIR/orca-prefs" \
    -d braille --debug-file "$ORCA_LOG" >"$E2E_DIR/logs/orca.out" 2>&1 &
ORCA_PID=$!
orca_ready() { grep -q 'ORCA: Startup complete' "$ORCA_LOG" 2>/dev/null; }
poll_until "$PATIENCE" "Orca to start" orca_ready || fail "Orca did not start (see orca.out)"

# ---------------------------------------------------------------------------
# What Orca says

MARK=0       # what expectations look at from
STEP_MARK=0  # where the step began
STEP=start

# What Orca said since the step began, one utterance a line.
said_since_mark() {
    tail -n +"$((MARK + 1))" "$ORCA_LOG" | sed -n "s/^.* - SPEECH OUTPUT: '\(.*\)'\( voice=[a-z]*\)\{0,1\} \{0,1\}{.*$/\1/p"
}

said() {
    said_since_mark | grep -qF -- "$1"
}

# step NAME: what follows is one step of the road; what Orca said in the last
# one goes to orca-said.txt.
step() {
    end_step
    STEP=$1
    MARK=$(wc -l <"$ORCA_LOG")
    STEP_MARK=$MARK
    note "$STEP"
}

end_step() {
    [ "$STEP" = start ] && return 0
    { echo "== $STEP"; MARK=$STEP_MARK said_since_mark | sed 's/^/   /'; } >>"$SAID"
}

# expect_said TEXT...: Orca says each TEXT (within an utterance) in this step.
expect_said() {
    local text
    for text in "$@"; do
        poll_until "$PATIENCE" "Orca to say '$text'" said "$text" \
            || { end_step; fail "$STEP: Orca did not say '$text' (see $SAID)"; }
    done
}

# expect_unsaid TEXT: Orca has not said TEXT in this step so far (called once
# what the step waits for has been said).
expect_unsaid() {
    if said "$1"; then
        end_step
        fail "$STEP: Orca said '$1' (see $SAID)"
    fi
}

# key_until TEXT KEY...: presses KEY until Orca says TEXT in this step, at
# most 8 times (buttons added beside those of this road may lie between).
TRY_MARK=0
key_until() {
    local text=$1 try
    shift
    for try in 1 2 3 4 5 6 7 8; do
        [ "$try" -gt 1 ] && note "$STEP: $* again, for '$text'"
        TRY_MARK=$(wc -l <"$ORCA_LOG")
        xdotool key "$@"
        poll_until "$PATIENCE" "Orca to answer $*" answered || break
        # What one key sets off is said together; a last part may follow.
        poll_until 3 "'$text'" said "$text" 2>/dev/null && return 0
    done
    end_step
    fail "$STEP: '$text' never came with $*"
}

# Orca said more than the key's own name since TRY_MARK.
answered() {
    tail -n +"$((TRY_MARK + 1))" "$ORCA_LOG" | grep -F "SPEECH OUTPUT:" \
        | grep -qvE "SPEECH OUTPUT: '(tab|left shift|shift|space|return) *'"
}

# type_into_orca_box TEXT TITLE: TEXT typed into the input box "修改" (read
# back until it holds) and confirmed; the window titled TITLE then has the
# keyboard again.
type_into_orca_box() {
    local box
    box=$(wait_window '^修改$')
    wait_focus "$box"
    type_into_box "$1"
    xdotool key Return
    wait_window_gone '^修改$'
    wait_focus "$(wait_window "$2")"
}

# ---------------------------------------------------------------------------
# The road

step "start: the welcome window"
start_app
expect_said "欢迎窗口 欢迎光临" "菜单"

step "Enter on 菜单"
xdotool key Return
expect_said "主窗口 请选择类别" "类别1 未命名"

step "F2 on the first category"
xdotool key F2
expect_said "修改 类别1 的名称"
step "面条 typed, Enter"
type_into_orca_box 面条 "^Form2$"
expect_said "面条 push button"

step "Enter on 面条"
xdotool key Return
expect_said "面条 点菜单"

step "Tab to the first row's small +"
key_until "第1行 小份 加一" Tab
expect_said "单价 空，数量 0"

step "Shift+F10 on +: the row's menu"
xdotool key shift+F10
expect_said "修改菜名"
step "Enter on 修改菜名"
xdotool key Return
expect_said "修改 第1行 的菜名"
step "牛肉面 typed, Enter"
type_into_orca_box 牛肉面 "^面条$"
expect_said "牛肉面 小份 加一"

step "the menu key, Down to 修改小份价格"
xdotool key Menu
expect_said "修改菜名"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Down
expect_said "修改小份价格"
step "Enter on 修改小份价格"
xdotool key Return
expect_said "修改 牛肉面 的小份价格"
step "10 typed, Enter"
type_into_orca_box 10 "^面条$"
expect_said "单价 10，数量 0"

step "+"
xdotool key space
expect_said "数量 1，金额 10"
step "+ again"
xdotool key space
expect_said "数量 2，金额 20"

step "the menu key, Escape"
xdotool key Menu
expect_said "修改菜名"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Escape
expect_said "牛肉面 小份 加一"

step "Shift+Tab to 关闭, then to 结算"
key_until "关闭 push button" shift+Tab
key_until "结算 push button" shift+Tab
step "结算"
xdotool key space
expect_said "小计 20"
step "Tab to the settle list, Down"
key_until "结算清单" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Down
expect_said "牛肉面 金额 20"

step "Tab to the subtotal, to 关闭, Enter"
key_until "小计 20" Tab
key_until "关闭 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "主窗口 请选择类别" "面条 push button"
expect_unsaid "关闭"

step "Tab through the categories and totals"
for text in 类别2 类别3 类别4 类别5 类别6 "面条 小计 20" "类别2 小计 0" "类别3 小计 0" \
    "类别4 小计 0" "类别5 小计 0" "类别6 小计 0" "总计 20" "清单 空"; do
    MARK=$(wc -l <"$ORCA_LOG")
    xdotool key Tab
    expect_said "$text"
done

step "Tab to 清单, Enter"
key_until "清单 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "第1位，总计 20元"

step "Shift+Tab to the bill, Down three times"
key_until "清单，第1位，总计 20元" shift+Tab
for text in "第1位" "牛肉面 小份 2 大份 0 金额 20" "总计 20元"; do
    MARK=$(wc -l <"$ORCA_LOG")
    xdotool key Down
    expect_said "$text"
done

step "Tab to 结账, Enter: the cash amount"
key_until "结账 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "现金 实收金额"
step "100 typed, Home, Ctrl+Right: the word at the end is answered"
xdotool type --delay 50 100
# Orca takes a caret move for a move by word only while Ctrl is still down
# when it hears of the move, so Ctrl is held until the word is said.
# Orca may take the caret's move home for one it has already told while the
# typed digits are still being told, so End and Home are pressed again until
# Home is answered.
for try in 1 2 3 4 5 6 7 8; do
    TRY_MARK=$(wc -l <"$ORCA_LOG")
    xdotool key End Home
    poll_until 10 "Orca to answer Home" answered 2>/dev/null || continue
    MARK=$(wc -l <"$ORCA_LOG")
    xdotool keydown ctrl key Right
    poll_until 15 "the word at the end" said "100" 2>/dev/null && break
    xdotool keyup ctrl
done
xdotool keyup ctrl
expect_said "100"
step "Tab on, Shift+Tab back: the amount read whole"
key_until "check box" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key shift+Tab
expect_said "现金 实收金额" "100"
step "Tab to 抹零: its choice said, and said again when it changes"
key_until "抹零(R) combo box" shift+Tab
expect_said "不抹零"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Down
expect_said "抹到元"
step "Tab to 微信, Space: the focus in its empty amount, named on its first visit"
key_until "微信 check box" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key space
expect_said "微信 金额"
step "Escape: the order stays"
xdotool key Escape
expect_said "主窗口"

step "Tab to 复制, Enter"
key_until "复制 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "已复制清单"

step "Tab to 店主菜单, Enter: the menu opens on its first entry"
key_until "店主菜单 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "营业记录"
step "Escape: the menu closes, Tab goes on from 店主菜单"
xdotool key Escape
key_until "挂单 push button" Tab

step "Enter on 挂单: the name box"
xdotool key Return
expect_said "桌号或名称"
step "3 typed, Enter: the order put aside under its table"
xdotool type --delay 50 3
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "已挂单：3号桌"

step "Tab to 取单, Enter: the orders put aside, a list"
key_until "取单 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "挂单" "List with 1 item" "3号桌，挂单时间"
expect_unsaid "tree"
step "Enter on 3号桌: the order back, its table named"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "已取回：3号桌，合计 20 元"

step "Shift+Tab to 结账, Enter, 50 typed: the change once the typing pauses"
key_until "结账 push button" shift+Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "现金 实收金额"
MARK=$(wc -l <"$ORCA_LOG")
xdotool type --delay 50 50
expect_said "找零 30 元"
step "Shift+Tab to 打印结账单, Space, Enter: the payment taken"
key_until "打印结账单" shift+Tab
xdotool key space
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "已收款 20 元，找零 30 元"

step "Tab to 一键归零"
key_until "一键归零 push button" Tab
expect_unsaid "已归零"
step "一键归零"
xdotool key space
expect_said "已归零"
step "Shift+Tab and Tab back to 一键归零"
key_until "关闭 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
key_until "一键归零 push button" shift+Tab
expect_unsaid "已归零"

step "Shift+F10 on 一键归零: the owner's menu on its first entry"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key shift+F10
expect_said "营业记录"
step "Enter on 营业记录: its tables named"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "订单数"
for name in 今日汇总 类别 菜品; do
    key_until "$name." Tab
done
step "Tab to 订单: its order read with its columns' names"
key_until "订单." Tab
expect_said "时间 " "单号 " "金额 20"
step "Down on the day's last order: the table's edge said"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Down
expect_said "已是最后一行"
step "Tab to 作废, Enter twice: the order voided"
key_until "作废… push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "原因 editable combo box"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "已作废"
step "Tab to 关闭, Enter: back on the main window, on 一键归零"
key_until "关闭 push button" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "主窗口" "一键归零 push button"

step "the menu key on 一键归零: the owner's menu on its first entry"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Menu
expect_said "营业记录"
step "Down to 交班, Enter: the cash-up"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Down
expect_said "交班"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Return
expect_said "备用金"
step "10 typed as 备用金: not counted yet"
MARK=$(wc -l <"$ORCA_LOG")
xdotool type --delay 50 10
expect_said "未点数"
step "Tab to 实点现金, 12 typed: the difference once the typing pauses"
key_until "实点现金" Tab
MARK=$(wc -l <"$ORCA_LOG")
xdotool type --delay 50 12
expect_said "长款 2 元"
step "Escape: no cash-up"
MARK=$(wc -l <"$ORCA_LOG")
xdotool key Escape
expect_said "主窗口"
end_step
STEP=start
quit_app
