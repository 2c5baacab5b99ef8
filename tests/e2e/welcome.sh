#!/usr/bin/env bash
# The program starts on its welcome window; "菜单" leads to the main window;
# the main window's title-bar close leads back; closing the welcome window
# ends the program.
. "$(dirname "$0")/lib.sh"
e2e_begin welcome

start_app
note "the welcome window alone, at its designed client size"
expect_client_size "$WELCOME" "$WELCOME_SIZE"
[ "$(find_visible '')" = "$WELCOME" ] || { visible_windows >&2; fail "another window shows at start"; }

note "the window system gets the program's icon (handed over just after the first frame)"
welcome_icon() {
    icon=$(xprop -id "$WELCOME" _NET_WM_ICON 2>&1) || true
    [[ "$icon" == "_NET_WM_ICON(CARDINAL) = "* ]]
}
poll_until 10 "the welcome window's icon" welcome_icon || fail "the welcome window shows no icon: ${icon%%$'\n'*}"

note "菜单 shows the main window and hides the welcome window"
main=$(open_main)
expect_client_size "$main" "$MAIN_SIZE"
[ "$(find_visible '')" = "$main" ] || { visible_windows >&2; fail "more than the main window shows"; }

note "closing the main window from its title bar does what its 关闭 does"
rename_category "$main" 2 小炒
close_window "$main"
wait_hidden "$main"
wait_shown "$WELCOME"
app_running || fail "closing the main window ended the program"
expect_ini_value Form2 C2 小炒

note "菜单 again brings back the same main window"
again=$(open_main)
[ "$again" = "$main" ] || fail "a second main window ($again) appeared instead of $main"
close_window "$main"
wait_shown "$WELCOME"

note "the focused 菜单 button answers the keyboard"
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$WELCOME" ]; }
poll_until 30 "the welcome window to take the keyboard" has_focus || fail "the welcome window has no keyboard focus"
xdotool key space
wait_shown "$main"
wait_hidden "$WELCOME"
close_window "$main"
wait_shown "$WELCOME"

note "closing the welcome window ends the program with exit code 0"
quit_app
