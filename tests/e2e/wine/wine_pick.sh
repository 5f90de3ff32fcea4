#!/usr/bin/env bash
# End-to-end run of the Windows program, tinctora.exe, under Wine on a
# virtual X server, driven with xdotool as a user would: the window's
# caption, client size, place and icons at the display's DPI; a drag-pick
# from the picker pad onto
# another program's window of a known colour; the arrow-key nudge during a
# pick; a palette click and a shade-strip click; typing into a channel box;
# the slider keys; a preset of the colour chooser and the colour dialog; the
# copy menu read back from the X clipboard; Escape ending the program with 0.
# Exit 77 (skipped) when Wine or the X tools are missing, or this machine
# runs no 32-bit code. Every step waits for what the next one needs (a
# window shown, a colour on the screen, a text on the clipboard, the
# program gone), up to a limit that fails the test saying what it waited
# for. A screenshot is kept where a check fails.
#
# The display's scale is DPI / 96 (96 when not given; 144 is 150 %). The
# program lays its window out in units of 1/96 inch and shows it at that
# scale: every place of the window is clicked and read at its layout place
# times the scale, rounded as the program rounds its edges; the screen, the
# pointer and the picked coordinates stay in physical pixels.
#
# usage: wine_pick.sh PATH/TO/tinctora.exe PREFIX-DIRECTORY [SCREENSHOT-DIRECTORY [DPI]]
set -uo pipefail

usage="usage: wine_pick.sh PATH/TO/tinctora.exe PREFIX [SHOTS [DPI]]"
program=${1:?$usage}
prefix=${2:?$usage}
shot_dir=${3:-$(dirname "$program")/e2e-screens}
dpi=${4:-96}
[[ "$dpi" =~ ^[1-9][0-9]*$ ]] || { echo "$usage (DPI a whole number, got '$dpi')"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
for tool in wine Xvfb xdotool xclip display convert import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (tools/test-windows-core installs it)"
    exit 77
  fi
done
if ! "$root"/tools/runs-32-bit-code; then
  echo "skipped: this machine runs no 32-bit x86 code, which 32-bit Wine needs"
  exit 77
fi

# Shared with the Linux scripts: the waits (poll_until, wait_until,
# check_soon), checks and the clipboard's. Their screenshots go where this
# script keeps its own.
source "$here"/../lib.sh
cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  e2e_cleanup
}
trap cleanup EXIT
e2e_screenshot() {
  mkdir -p "$shot_dir"
  shots=$((shots + 1))
  import -window root "$shot_dir/wine-pick-$dpi-$shots-$1.png" 2>/dev/null &&
    echo "  screen kept in $shot_dir/wine-pick-$dpi-$shots-$1.png"
}

# A layout length or place (1/96 inch) in device pixels at the DPI, rounded
# half up as the program places its edges (lib.sh's own helpers are for the
# scale of the Linux scripts).
device_px() { echo $(((2 * $1 * dpi + 96) / 192)); }
# The virtual screen is 1280 x 1024 at 96 DPI, and as large in inches at
# any other: the window and the other program's window stay apart.
screen_w=$(device_px 1280) screen_h=$(device_px 1024)

# The prefix: Wine draws the frame itself, and the fonts are an English
# Windows' (the default GUI font a Latin face, the Chinese faces the program
# names found through substitutes). Made once and kept in the build tree.
"$here"/../wine-prefix.sh "$prefix" "$dpi" >/dev/null || { echo "FAILED: the Wine prefix could not be made"; exit 1; }
export WINEPREFIX=$(cd "$prefix" && pwd) WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
if ! poll_until 10 test -s "$work/display"; then
  echo "FAILED: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY

# The screen's pixel at X Y as RRGGBB.
pixel_at() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | tail -1 | grep -o '#[0-9A-F]\{6\}' | tr -d '#'
}
shows() {  # shows X Y COLOUR: whether the screen's pixel at X Y is COLOUR
  [ "$(pixel_at "$1" "$2")" == "$3" ]
}
# Whether the pixel at X Y looks painted: neither the black of the bare
# screen nor the window's face colour, and the same as at the last try.
painted_at() {  # painted_at X Y
  local got
  got=$(pixel_at "$1" "$2")
  [ -n "$got" ] && [ "$got" != 000000 ] && [ "$got" != "$face" ] && [ "$got" == "${last_painted:-}" ]
  local painted=$?
  last_painted=$got
  return $painted
}

# Another program's window of a colour whose channels all differ, so a
# swapped order shows.
convert -size 160x120 xc:'#3366CC' "$work/target.png"
display -geometry +40+40 -title pick-target "$work/target.png" >/dev/null 2>&1 &
pids+=($!)
wait_until 20 "the other program's window to show #3366CC" shows 100 90 3366CC || e2e_finish

started=$(date +%s%N)
(wine "$program"; echo $? >"$work/exit") >"$work/tinctora.log" 2>&1 &
pids+=($!)
if ! poll_until 60 window_named 'Tinctora V1'; then
  echo "FAILED: the window did not open in 60s"; cat "$work/tinctora.log"; exit 1
fi
window=$found_window
echo "the window mapped $(( ($(date +%s%N) - started) / 1000000 )) ms after the start"

# The client area on the screen, from the frame Wine draws around it: the
# caption is the first long run of one colour down the frame, the borders
# are as wide as the frame above it, and one line of the face colour
# separates it from the client area. Sets cx, cy (the client area's
# top-left corner), client_w and client_h.
client_area() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  local y=0 run=0 previous="" colour
  border=-1 caption_end=-1
  # One column down the middle of the caption, clear of its text and buttons.
  while read -r colour; do
    if [ "$colour" == "$previous" ]; then run=$((run + 1)); else run=1 previous=$colour; fi
    if [ "$run" -ge 8 ]; then
      border=$((y - run + 1)) caption_end=$y
    elif [ "$caption_end" -ge 0 ]; then
      break
    fi
    y=$((y + 1))
  done < <(import -window root -crop "1x$((HEIGHT / 4))+$((X + WIDTH / 2))+$Y" -depth 8 txt:- 2>/dev/null |
           grep -o '#[0-9A-F]\{6\}')
  cx=$((X + border)) cy=$((Y + caption_end + 2))
  client_w=$((WIDTH - 2 * border)) client_h=$((Y + HEIGHT - border - cy))
}
at() { echo $((cx + $(device_px "$1"))) $((cy + $(device_px "$2"))); }
# Whether the picker pad shows its reticle: black round the middle of the
# pad (the picture is shown at its own size, centred, at every scale).
pad_shows_reticle() {
  local x y
  read -r x y <<<"$(at 30 29)"
  import -window root -crop "7x7+$((x - 3))+$((y - 3))" -depth 8 txt:- 2>/dev/null | grep -q '#000000'
}
# Whether the window is painted at its final place: its face drawn, the
# picker pad's reticle black and the palette in colour.
window_painted() {
  client_area
  face=$(pixel_at $(at 5 5))
  [ -n "$face" ] && [ "$face" != 000000 ] && pad_shows_reticle &&
    ! shows $(at 389 342) 000000 && ! shows $(at 389 342) "$face"
}
# The sizes of the window's icons, as Wine hands them to X.
icon_sizes() {
  xprop -id "$window" _NET_WM_ICON 2>/dev/null | grep -o 'Icon ([0-9]* x [0-9]*)' | tr -dc '0-9x\n' | sort -n | uniq |
    paste -sd ' '
}
wait_until 20 "the window to be painted" window_painted || e2e_finish

check "the caption" "Tinctora V1.0    (2018-08-16)" "$(xdotool getwindowname "$window")"
client_area
echo "the display at $dpi DPI: the frame at $X,$Y, ${WIDTH}x${HEIGHT}; the client area at $cx,$cy"
# The layout's 607 x 401 units at the scale, inside the frame Wine draws.
check "the client area's size" "$(device_px 607)x$(device_px 401)" "${client_w}x${client_h}"
check "the window's place (centred)" "$(((screen_w - WIDTH) / 2)),$(((screen_h - HEIGHT) / 2))" "$X,$Y"
# The caption's and the task switcher's icons, at the DPI's system sizes.
check "the window's icons" "$(device_px 16)x$(device_px 16) $(device_px 32)x$(device_px 32)" "$(icon_sizes)"

# The colour the current-colour box shows.
shown_colour() { pixel_at $(at 78 345); }
# Whether the screen shows a window of the program besides the main one: a
# menu, the colour popup or the colour dialog.
popup_open() {
  [ -n "$(xdotool search --onlyvisible --classname '^tinctora\.exe$' 2>/dev/null | grep -vx "$window")" ]
}
popup_closed() { ! popup_open; }
pad_emptied() { ! pad_shows_reticle; }
pointer_at() {  # pointer_at X Y
  local X Y SCREEN WINDOW
  eval "$(xdotool getmouselocation --shell)"
  [ "$X,$Y" == "$1,$2" ]
}

# Copies the current colour's notation number ITEM (counted from 1) from the
# copy menu of the current-colour box and prints the clipboard.
copy_notation() {
  clear_clipboard
  xdotool mousemove $(at 78 345) click 3
  wait_until 10 "the copy menu to open" popup_open
  local keys=()
  for ((k = 0; k < $1; k++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
  wait_until 10 "the copied notation on the clipboard" clipboard_has_text
  wait_until 10 "the copy menu to close" popup_closed
  xclip -o -selection clipboard 2>/dev/null
}
hex() { copy_notation 2; }
# The text of the edit box at client point X,Y, through its own Ctrl+A
# Ctrl+C. The program handles the click before the keys that copy.
read_box() {  # read_box X Y
  xdotool mousemove $(at "$1" "$2") click 1
  clear_clipboard
  xdotool key ctrl+a ctrl+c
  wait_until 10 "the box's text on the clipboard" clipboard_has_text
  xclip -o -selection clipboard 2>/dev/null
}
# Presses the button on the picker pad, leaving it held, and waits until
# the pick has begun: the pad is emptied.
start_pick() {
  xdotool mousemove $(at 30 29) mousedown 1
  wait_until 10 "the pad to empty for the pick" pad_emptied
}
# Releases the button and waits until the pick has ended: the pad shows
# its reticle again.
end_pick() {
  xdotool mouseup 1
  wait_until 10 "the pick to end" pad_shows_reticle
}

# A drag from the picker pad onto the other program's window, passing
# outside every window (the bare screen is black), then back.
start_pick
xdotool mousemove 700 60
check_soon "the colour shown outside every window" "000000" 10 shown_colour
xdotool mousemove 100 90
check_soon "the colour shown over the other program's window" "3366CC" 10 shown_colour
# The zoom view shows the pixels round the pointer while the drag goes on.
check_soon "a pixel of the zoom view during the drag" "3366CC" 10 pixel_at $(at 40 90)
end_pick
check "the picked colour (hex notation)" "3366CC" "$(hex)"
check "the picked colour (RGB notation)" "51,102,204" "$(copy_notation 3)"
check "the picked colour (decimal notation)" "$((0xCC6633))" "$(copy_notation 1)"
# The coordinates box: selected and copied with the edit control's own keys.
check "the coordinates box after the pick" "100,90" "$(read_box 340 74)"

# The arrow keys nudge the pointer while the button is held. The release
# happens over the program's own window: Wine's pointer warp ends X's hold
# on the pressed button, so a release elsewhere would not reach it.
read -r px py <<<"$(at 480 340)"
under=$(pixel_at "$px" "$py")
start_pick
xdotool mousemove "$px" "$py"
check_soon "the colour shown over the palette during the pick" "$under" 10 shown_colour
xdotool key Right Right Down
poll_until 10 pointer_at $((px + 2)) $((py + 1))
eval "$(xdotool getmouselocation --shell)"
check "the pointer after the nudge keys" "$((px + 2)),$((py + 1))" "$X,$Y"
expected=$(pixel_at "$X" "$Y")
end_pick
check "the colour picked after the nudge" "$expected" "$(hex)"
check "the coordinates box after the nudge" "$X,$Y" "$(read_box 340 74)"

# Clicks at screen point X,Y, which the program takes as a colour; checks
# the colour shown, then the colour copied.
click_colour() {  # click_colour WHAT X Y EXPECTED
  xdotool mousemove "$2" "$3" click 1
  check_soon "the colour shown after $1" "$4" 10 shown_colour
  check "the colour of $1" "$4" "$(hex)"
}

# A click on the palette and on the shade strip takes exactly the pixel
# clicked.
read -r px py <<<"$(at 430 320)"
click_colour "a palette click" "$px" "$py" "$(pixel_at "$px" "$py")"
read -r px py <<<"$(at 260 306)"
click_colour "a shade-strip click" "$px" "$py" "$(pixel_at "$px" "$py")"

# Typing into the channel boxes: digits only. Each click reaches the box
# before the keys that follow it.
for entry in "183 1x2a8" "222 64" "260 0"; do
  read -r y text <<<"$entry"
  xdotool mousemove $(at 430 "$y") click 1 key ctrl+a
  xdotool type --delay 60 "$text"
done
check_soon "the colour shown after typing 128, 64 and 0" "804000" 10 shown_colour
check "the colour after typing 128, 64 and 0" "804000" "$(hex)"

# The slider keys, as the track bar has them: Right, PageDown and Down
# increase, Up decreases, End and Home go to the ends. A click gives the red
# slider the focus (Wine's track bar does not page on a click, Windows'
# does: the keys count from wherever the click left it). The copy menu
# leaves the focus where it was.
xdotool mousemove $(at 590 170) click 1
red=$((16#$(hex | cut -c1-2)))
slider_keys() {  # slider_keys WHAT EXPECTED KEY...
  local what=$1 expected=$2
  shift 2
  xdotool key "$@"
  check_soon "the colour shown after $what" "$expected" 10 shown_colour
  check "the colour after $what" "$expected" "$(hex)"
}
slider_keys "Right, PageDown, Down, Down, Up" "$(printf '%02X4000' $((red + 7)))" Right Next Down Down Up
slider_keys "End" FF4000 End
slider_keys "Home" 004000 Home

# Opens the colour chooser's popup below the chooser and waits until it
# shows the swatch in the second row, third column.
read -r swatch_x swatch_y <<<"$(at $((152 + 4 + 2 * 20 + 8)) $((394 + 4 + 20 + 8)))"
open_chooser() {
  xdotool mousemove $(at 177 379) click 1
  wait_until 10 "the colour popup to open" popup_open
  last_painted=""
  wait_until 10 "the colour popup's swatches to be painted" painted_at "$swatch_x" "$swatch_y"
}

# A preset of the colour chooser: the swatch is taken as shown.
open_chooser
expected=$(pixel_at "$swatch_x" "$swatch_y")
xdotool mousemove "$swatch_x" "$swatch_y" click 1
wait_until 10 "the colour popup to close" popup_closed
check_soon "the colour shown after a chooser preset" "$expected" 10 shown_colour
check "the colour of a chooser preset" "$expected" "$(hex)"

# The colour dialog, from the entry below the presets: a basic colour
# clicked there and OK.
open_chooser
xdotool mousemove $(at 202 $((394 + 4 + 4 * 20 + 10))) click 1
dialog=$(e2e_find_window '^Colou?r$')
if [ -z "$dialog" ]; then
  check "the colour dialog" "open" "not found"
else
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  # The first basic colour of the second row.
  read -r px py <<<"$((X + $(device_px 18))) $((Y + $(device_px 76)))"
  last_painted=""
  wait_until 10 "the colour dialog's basic colours to be painted" painted_at "$px" "$py"
  expected=$(pixel_at "$px" "$py")
  # The click selects the colour before Return reaches the dialog.
  xdotool mousemove "$px" "$py" click 1 key Return
  wait_until 10 "the colour dialog to close" popup_closed
  check_soon "the colour shown after the colour dialog" "$expected" 10 shown_colour
  check "the colour chosen in the dialog" "$expected" "$(hex)"
fi

# Escape, which the focused control leaves alone, closes the window and the
# program ends with 0.
xdotool mousemove $(at 430 183) click 1 key Escape
poll_until 10 test -s "$work/exit"
check "the exit code after Escape" "0" "$(cat "$work/exit" 2>/dev/null || echo running)"

e2e_finish
