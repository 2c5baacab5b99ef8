#!/usr/bin/env bash
# One running Tavelko per user: a second start brings the running program's
# window to the front and ends, and the first copy's edits are what gets
# saved. When the program ends nothing of the guard is left behind, and a
# copy killed outright does not keep the next start from running.
. "$(dirname "$0")/lib.sh"
e2e_begin second_copy

name=牛肉面馆

# start_second_copy: starts the program once more; it must end by itself
# with exit code 0.
start_second_copy() {
    local pid code=0
    APP_RUNS=$((APP_RUNS + 1))
    "$TAVELKO" >"$E2E_DIR/logs/tavelko-$APP_RUNS.log" 2>&1 &
    pid=$!
    poll_until 30 "the second copy to end" process_ended "$pid" \
        || { stop_process "$pid"; fail "the second copy kept running"; }
    wait "$pid" || code=$?
    [ "$code" -eq 0 ] || fail "the second copy ended with exit code $code"
}

start_app
main=$(open_main)
rename_category "$main" 1 "$name"

# above WINDOW OTHER: WINDOW lies above OTHER in the stacking order (the root
# window's children are listed top to bottom).
above() {
    xwininfo -root -children | awk -v w="$(printf '0x%x' "$1")" -v o="$(printf '0x%x' "$2")" '
        $1 == w { wat = NR } $1 == o { oat = NR } END { exit !(wat && oat && wat < oat) }'
}

note "a second start while another window covers the main window: the main window comes to the front"
"$E2E_XHELPER" cover >"$E2E_DIR/cover" 2>"$E2E_DIR/logs/cover.log" &
COVER_PID=$!
poll_until 30 "the covering window" grep -q '^[0-9]' "$E2E_DIR/cover" || fail "no covering window"
cover=$(head -n1 "$E2E_DIR/cover")
poll_until 10 "the covering window to lie above the main window" above "$cover" "$main" \
    || fail "the covering window does not cover the main window; the test cannot tell"
start_second_copy
poll_until 10 "the main window to come to the front" above "$main" "$cover" \
    || fail "the second start did not bring the main window to the front"
app_running || fail "the first copy ended"
no_visible '^Tavelko$' || { visible_windows >&2; fail "a second welcome window showed"; }
window_visible "$main" || fail "the main window went away"
stop_process "$COVER_PID"

note "the first copy's rename is what 关闭 saves"
close_main "$main"
expect_ini_value Form2 C1 "$name"

note "a second start at the welcome window shows no second welcome window"
start_second_copy
one_visible '^Tavelko$' || { visible_windows >&2; fail "not exactly one welcome window"; }
quit_app

note "nothing of the guard is left when the program ends"
left=$(find "$XDG_RUNTIME_DIR" "${TMPDIR:-/tmp}" -maxdepth 1 -name 'Tavelko*' 2>/dev/null || true)
[ -z "$left" ] || fail "left behind: $left"

note "a copy killed outright does not keep the next start from running"
start_app
kill -KILL "$APP_PID"
expect_app_exit 137
stale="$(settings_file).lock $(settings_file).Xy12Zw"
for file in $stale; do : >"$file"; done
start_app

note "the lock and temporary files of the killed copy's store are gone at the start"
store_leftovers_gone() {
    local file
    for file in $stale; do [ ! -e "$file" ] || return 1; done
}
poll_until 10 "the store's leftovers to go" store_leftovers_gone || fail "left beside the store: $stale"
main=$(open_main)
shown=$(category_name "$main" 1)
[ "$shown" = "$name" ] || fail "after a restart C1 shows '$shown', expected '$name'"
close_main "$main"
quit_app
