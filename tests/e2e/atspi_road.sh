#!/usr/bin/env bash
# The road of one order worked by a screen reader's client alone: the program
# runs with its accessibility bridge on a private session bus and AT-SPI bus,
# and helpers/atspi_road.py presses, reads and listens through AT-SPI only
# (菜单, F2 to name the first category 面条, 面条, the row's menu from the
# keyboard, "+" twice, 结算, 关闭, 清单, 一键归零). What a screen reader
# received goes to screen-reader.txt in the case's output folder.
. "$(dirname "$0")/lib.sh"
e2e_begin atspi_road
# The system's Python, which the distribution's pyatspi belongs to.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
limited "$TOOL_LIMIT" "$python" -c 'import pyatspi' 2>/dev/null \
    || fail "python3-pyatspi is missing: run scripts/install-deps.sh test (make test does)"
atspi_cleanup() {
    local status=$?
    stop_process "$APP_PID"
    APP_PID=
    stop_a11y_bus
    e2e_cleanup "$status"
}
trap atspi_cleanup EXIT

note "a private session bus and the AT-SPI bus on it"
start_a11y_bus

note "the program with its accessibility bridge on"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_app

# Each of its waits has a limit of its own; the whole road, one of 240 s.
limited 240 "$python" "$E2E_HERE/helpers/atspi_road.py" "$E2E_OUTPUT/screen-reader.txt" \
    || fail "the road through AT-SPI went wrong (see above and $E2E_OUTPUT/screen-reader.txt)"
quit_app
