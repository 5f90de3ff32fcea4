#!/usr/bin/env bash
# Typing into a channel box as a user does: a click in the red box, the box
# cleared with Backspace (it reads "0", selected), then digits typed at
# once. 200, 25 and 7 go in as typed; 999 becomes 255; typing after a 255
# replaces it. The box is read back through its own Ctrl+A Ctrl+C only once
# a value is complete, and red from the current-colour box on the screen,
# so that no reading changes what the next keystroke does.
#
# usage: typing.sh PATH/TO/tinctora
program=${1:?usage: typing.sh PATH/TO/tinctora}
test_name=typing
. "$(dirname "$0")/lib.sh"

# Layout points of the client area: the red box, and a point inside the
# current-colour box.
red_box=(430 183)
preview=(78 345)

# Red (0 to 255) of the current-colour box as the screen shows it.
shown_red() {
  local rgb
  rgb=$(client_pixel "${preview[@]}")
  echo "$((16#${rgb:0:2}))"
}

# Clicks into the red box, goes to its end and deletes every character.
clear_red_box() {
  pointer_to "${red_box[@]}" click 1
  xdotool key End BackSpace BackSpace BackSpace BackSpace
}

e2e_start_x
e2e_start_program
client_origin

for value in 200 25 7 999; do
  expected=$value
  [ "$value" -gt 255 ] && expected=255
  clear_red_box
  check_soon "red after clearing the box" "0" 5 shown_red
  # Typed as fast as xdotool types, well within one display frame a key.
  xdotool type --delay 5 "$value"
  check_soon "red after typing $value" "$expected" 5 shown_red
  check "the red box after typing $value" "$expected" "$(focused_box)"
done

# The box reads 255 after 999 and has not been touched since (the last
# reading selected it whole, so the value is typed afresh): typing after a
# corrected 255 replaces it.
clear_red_box
xdotool type --delay 5 "999"
check_soon "red after typing 999 again" "255" 5 shown_red
xdotool type --delay 5 "42"
check_soon "red after typing 42 after the 255" "42" 5 shown_red
check "the red box after typing 42 after the 255" "42" "$(focused_box)"
e2e_screenshot typed >/dev/null

xdotool windowactivate --sync "$window"
xdotool key Escape
e2e_expect_exit "Escape"
e2e_finish
