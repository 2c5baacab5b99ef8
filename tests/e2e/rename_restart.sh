#!/usr/bin/env bash
# A category renamed with a right click is shown at once, titles its sheet,
# is stored by the main window's "关闭" and comes back after a restart.
. "$(dirname "$0")/lib.sh"
e2e_begin rename_restart

name=牛肉面馆

start_app
main=$(open_main)

note "a first start shows a single space on every category button"
for n in 1 2 3 4 5 6; do
    shown=$(category_name "$main" "$n")
    [ "$shown" = " " ] || fail "category $n opens its input box with '$shown' on an empty store"
done

note "right click on C1, type $name, Enter"
rename_category "$main" 1 "$name"
shown=$(category_name "$main" 1)
[ "$shown" = "$name" ] || fail "C1 shows '$shown' after the rename, expected '$name'"

note "the category's sheet takes the new name as its title"
sheet=$(open_category "$main" 1)
expect_title "$sheet" "$name"
close_sheet "$sheet" "$main"

note "关闭 stores the name under [Form2]"
close_main "$main"
expect_ini_value Form2 C1 "$name"
expect_ini_value Form2 C2 " "

quit_app

note "after a restart the input box of C1 opens with the stored name"
start_app
main=$(open_main)
shown=$(category_name "$main" 1)
[ "$shown" = "$name" ] || fail "after a restart C1 shows '$shown', expected '$name'"

note "cancelling the input box keeps the name"
shown=$(category_name "$main" 1)
[ "$shown" = "$name" ] || fail "after a cancelled input box C1 shows '$shown', expected '$name'"
close_main "$main"
expect_ini_value Form2 C1 "$name"
quit_app
