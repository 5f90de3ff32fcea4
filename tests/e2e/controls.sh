#!/usr/bin/env bash
# The controls by hand: a palette click, a shade strip click, typing and
# pasting into the channel boxes, the slider keys (PageDown and Down
# increase, as the Windows track bar; a thumb drag), a preset of the colour chooser's
# popup and the colour dialog behind it. Each step is read back as the
# hexadecimal notation through the copy menu.
#
# usage: controls.sh PATH/TO/tinctora
program=${1:?usage: controls.sh PATH/TO/tinctora}
test_name=controls
. "$(dirname "$0")/lib.sh"

e2e_start_x
e2e_start_program
client_origin
hex() { copy_notation 2; }
# Clicks the colour chooser and waits for its popup.
open_chooser() {
  pointer_to 177 379 click 1
  wait_until 5 "the colour popup to open" program_popup_open
}
# Clicks a point of the colour popup, given as the layout point of the main
# window's client area it lies at at 100 %, where the popup opens below the
# chooser (152,364 to 202,394): the popup is laid out from its own corner,
# which lies above the chooser when there is no room below.
popup_click() {  # popup_click X Y
  local popup
  popup=$(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | grep -vx "$window" | head -1)
  xdotool mousemove --window "$popup" "$(dev $(($1 - 152)))" "$(dev $(($2 - 394)))" click 1
}
# Whether the colour of the hexadecimal notation is within 3 of RRGGBB in
# each channel: the shade strip is drawn at the scale's device pixels, so
# a point of it gives a slightly different shade at each scale.
hex_near() {  # hex_near RRGGBB
  local got
  got=$(hex)
  for i in 0 2 4; do
    local d=$((16#${got:i:2} - 16#${1:i:2}))
    [ "${d#-}" -le 3 ] || { echo "$got"; return; }
  done
  echo "$1"
}
dialog_active() {
  [ "$(xdotool getactivewindow getwindowname 2>/dev/null)" == "Select Color" ]
}

# The program handles its input in order: a read through the copy menu
# needs no wait after a click or a key, only after a modal window closes.

# The palette: row 8, column 1 is pure red.
pointer_to 389 342 click 1
check "the colour after a palette click" "FF0000" "$(hex)"
check_soon "the first swatch after the palette click" "FF0000" 5 client_pixel 100 32

# The shade strip runs from white through red to black; column 45 of its
# 182 is about half way from white to red.
pointer_to 200 306 click 1
if [ "$scale_pct" == 100 ]; then
  check "the colour after a strip click" "FF8181" "$(hex)"
else
  check "the colour after a strip click, within 3" "FF8181" "$(hex_near FF8181)"
fi
e2e_screenshot strip >/dev/null

# The green slider: a click on its channel right of the thumb moves it a
# page (5); PageDown and Down increase, PageUp and Up decrease, Right and
# Left step, End and Home go to the ends.
pointer_to 389 342 click 1
pointer_to 576 225 click 1
check "green after a click on the channel" "FF0500" "$(hex)"
steps=(Page_Down Down Right Page_Up Up Left End Home)
after=(FF0A00 FF0B00 FF0C00 FF0700 FF0600 FF0500 FFFF00 FF0000)
for i in "${!steps[@]}"; do
  # The focus comes back to the slider when the copy menu closes.
  xdotool key "${steps[i]}"
  check "the colour after ${steps[i]} on the green slider" "${after[i]}" "$(hex)"
done
# The thumb, at the left end now, dragged past the right end.
pointer_to 464 225 mousedown 1
for x in 480 500 520 540 560 580 600 620; do
  pointer_to "$x" 225
done
xdotool mouseup 1
check "the colour after dragging the green thumb to the end" "FFFF00" "$(hex)"
check "the green box after the drag" "255" "$(read_box 430 222)"

# The red box takes digits only: the letters are refused as typed.
read_box 430 183 >/dev/null
xdotool key ctrl+a
xdotool type --delay 60 "1x2a8"
check "the colour after typing 1x2a8 into the red box" "80FF00" "$(hex)"

# A paste from the edit box's own menu goes through the program's rules:
# the green box takes three characters of the first line.
printf '12345\n67' | xclip -selection clipboard >/dev/null 2>&1
pointer_to 430 222 click 1
xdotool key ctrl+a
xdotool click 3
wait_until 5 "the edit box's menu to open" program_popup_open
xdotool key p
wait_until 5 "the edit box's menu to close" program_popup_closed
check "the colour after pasting into the green box" "807B00" "$(hex)"

# The colour chooser's popup: a preset (row 3, column 5: C06000); Escape
# in the popup changes nothing.
open_chooser
e2e_screenshot popup >/dev/null
popup_click 243 445
wait_until 5 "the colour popup to close" program_popup_closed
check "the colour after a preset of the chooser" "C06000" "$(hex)"
open_chooser
xdotool key Escape
wait_until 5 "the colour popup to close" program_popup_closed
check "the colour after Escape in the popup" "C06000" "$(hex)"

# The popup's last entry opens the colour dialog with the current colour;
# its HTML box takes a colour, Return confirms it; Escape cancels.
open_chooser
popup_click 234 488
check_soon "the dialog's caption" "Select Color" 10 xdotool getactivewindow getwindowname
e2e_screenshot dialog >/dev/null
xdotool key alt+h
check "the colour the dialog opened with" "#c06000" "$(focused_box)"
xdotool key ctrl+a
xdotool type "#123456"
xdotool key Return
wait_until 5 "the colour dialog to close" program_popup_closed
check "the colour after the dialog" "123456" "$(hex)"
open_chooser
popup_click 234 488
wait_until 10 "the colour dialog to take the keyboard" dialog_active
xdotool key Escape
wait_until 5 "the colour dialog to close" program_popup_closed
check "the colour after cancelling the dialog" "123456" "$(hex)"

xdotool windowactivate --sync "$window"
xdotool key Escape
e2e_expect_exit "Escape"
e2e_finish
