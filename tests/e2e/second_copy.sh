#!/usr/bin/env bash
# One running Tavelko per user: a second start brings the running program's
# window to the front and ends, and the first copy's rename is what is saved.
# The user's other sessions (another runtime folder, or none: su, cron) find
# it running too, and a restore of the journal is refused meanwhile. Nothing
# of the guard outlives the program; a copy killed outright keeps nothing
# from starting, and its store's lock and temporary files go.
. "$(dirname "$0")/lib.sh"
e2e_begin second_copy
name=牛肉面馆

# Starts the program once more (under `env ARGS`, if given); it must end by
# itself with exit code 0.
start_second_copy() {
    local pid code=0
    env "$@" "$TAVELKO" >>"$E2E_DIR/logs/second-copy.log" 2>&1 &
    pid=$!
    poll_until 30 "the second copy to end" process_ended "$pid" \
        || { stop_process "$pid"; fail "the second copy kept running"; }
    wait "$pid" || code=$?
    [ "$code" -eq 0 ] || fail "the second copy ended with exit code $code"
}

# above WINDOW OTHER: WINDOW lies above OTHER (xwininfo lists top first).
above() {
    xwininfo -root -children | awk -v w="$(printf '0x%x' "$1")" -v o="$(printf '0x%x' "$2")" '
        $1 == w { wat = NR } $1 == o { oat = NR } END { exit !(wat && oat && wat < oat) }'
}

start_app
main=$(open_main)
rename_category "$main" 1 "$name"

note "a second start while a window covers the main window brings the main window in front"
# Lives until stopped; timeout ends it should the case fail before that.
timeout -k 2 120 "$E2E_XHELPER" cover >"$E2E_DIR/cover" 2>>"$E2E_DIR/logs/cover.log" &
cover_pid=$!
poll_until 30 "the covering window" grep -q '^[0-9]' "$E2E_DIR/cover" || fail "no covering window"
cover=$(head -n1 "$E2E_DIR/cover")
poll_until 10 "the cover to lie above the main window" above "$cover" "$main" || fail "no cover"
start_second_copy
poll_until 10 "the main window to come to the front" above "$main" "$cover" \
    || fail "the second start did not bring the main window to the front"
no_visible '^Tavelko$' || { visible_windows >&2; fail "a second welcome window showed"; }
stop_process "$cover_pid"

note "another session of the same user finds it running, whatever its runtime folder"
other_runtime="$E2E_DIR/runtime-second-login"
mkdir -p "$other_runtime" && chmod 700 "$other_runtime"
start_second_copy XDG_RUNTIME_DIR="$other_runtime"
start_second_copy -u XDG_RUNTIME_DIR
no_visible '^Tavelko$' || { visible_windows >&2; fail "another session showed a second welcome window"; }
code=0
said=$(timeout 30 env -u XDG_RUNTIME_DIR "$TAVELKO" --restore-journal "$E2E_DIR/logs/second-copy.log" 2>&1) || code=$?
[ "$code" -eq 1 ] && [[ $said == *正在运行* ]] || fail "a restore without a runtime folder was not refused ($code): $said"
close_main "$main"
expect_ini_value Form2 C1 "$name"

note "a second start at the welcome window shows no second one; nothing is left after the end"
start_second_copy
one_visible '^Tavelko$' || { visible_windows >&2; fail "not exactly one welcome window"; }
quit_app
left=$(find "$XDG_DATA_HOME/Tavelko" "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'Tavelko.*')
[ -z "$left" ] || fail "left behind: $left"

note "after a copy is killed the next start runs and removes its store's leftovers"
start_app
kill -KILL "$APP_PID"
expect_app_exit 137
stale=("$(settings_file).lock" "$(settings_file).tavelko-tmp-Xy12Zw")
touch "${stale[0]}"
mkdir -p "${stale[1]}" && touch "${stale[1]}/new.conf"
own="$(settings_file).202412"  # the user's own copy: it stays
touch "$own"
start_app
leftovers_gone() { [ ! -e "${stale[0]}" ] && [ ! -e "${stale[1]}" ]; }
poll_until 10 "the store's leftovers to go" leftovers_gone || fail "left: ${stale[*]}"
[ -e "$own" ] || fail "the user's own $own was removed"
main=$(open_main)
[ "$(category_name "$main" 1)" = "$name" ] || fail "after the restart C1 lost '$name'"
close_main "$main"
quit_app
