#!/usr/bin/env bash
# The road of one order worked by a screen reader's client alone: the program
# runs with its accessibility bridge on a private session bus and AT-SPI bus,
# and helpers/atspi_road.py presses, reads and listens through AT-SPI only
# (菜单, F2 to name the first category 面条, 面条, the row's menu from the
# keyboard, "+" twice, 结算, 关闭, 清单, 一键归零). What a screen reader
# received goes to screen-reader.txt in the case's output folder.
. "$(dirname "$0")/lib.sh"
e2e_begin atspi_road
require_tools dbus-daemon dbus-send
# The system's Python, which the distribution's pyatspi belongs to.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" -c 'import pyatspi' 2>/dev/null \
    || fail "python3-pyatspi is missing: run scripts/install-deps.sh test (make test does)"
launcher=
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [ -x "$candidate" ] && launcher=$candidate && break
done
[ -n "$launcher" ] || fail "at-spi-bus-launcher is missing: install at-spi2-core"

DBUS_PID=
LAUNCHER_PID=
atspi_cleanup() {
    local status=$?
    stop_process "$APP_PID"
    APP_PID=
    stop_process "$LAUNCHER_PID"
    stop_process "$DBUS_PID"
    e2e_cleanup "$status"
}
trap atspi_cleanup EXIT

note "a private session bus and the AT-SPI bus on it"
: >"$E2E_DIR/bus-address"
dbus-daemon --session --nofork --nopidfile --print-address=3 \
    3>"$E2E_DIR/bus-address" >"$E2E_DIR/logs/dbus.log" 2>&1 &
DBUS_PID=$!
poll_until 20 "the session bus" grep -q . "$E2E_DIR/bus-address" || fail "no session bus"
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$E2E_DIR/bus-address")
export DBUS_SESSION_BUS_ADDRESS
"$launcher" --launch-immediately >"$E2E_DIR/logs/at-spi-bus.log" 2>&1 &
LAUNCHER_PID=$!
a11y_bus_up() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1
}
poll_until 20 "the AT-SPI bus" a11y_bus_up || fail "the AT-SPI bus did not start"

note "the program with its accessibility bridge on"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_app

"$python" "$E2E_HERE/helpers/atspi_road.py" "$E2E_OUTPUT/screen-reader.txt" \
    || fail "the road through AT-SPI went wrong (see above and $E2E_OUTPUT/screen-reader.txt)"
quit_app
