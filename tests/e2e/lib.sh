# Shared by the end-to-end scripts: a virtual X server with a window
# manager, the program started on it, checks, and the ways the scripts read
# what the program shows: the clipboard (xclip, after the program's copy
# menu or an edit box's own Ctrl+A Ctrl+C) and screenshots (import).
#
# A script sets `test_name`, sources this file, calls e2e_start_x, and ends
# with e2e_finish. Exit 77 (skipped) when the X tools are not installed.
# Screenshots taken along the way are kept under TINCTORA_E2E_ARTIFACTS
# when a check fails.
#
# The desktop's scale: TINCTORA_E2E_SCALE in per cent (default 100), set
# the way a desktop sets it, as the X resource Xft.dpi (96 for each 100 %)
# before the program starts, or with TINCTORA_E2E_SCALE_WITH=qt as Qt's
# scale factor (QT_SCALE_FACTOR) in the program's environment. The program
# then lays its window out at that scale: the scripts name places of its
# client area in the layout's units (96 to an inch) and turn them into
# device pixels with `dev` (the middle of a unit) and `edge` (where an edge
# falls), as the program does. Screen positions (the pointer, the
# coordinates box, other windows) stay physical pixels.

set -uo pipefail

e2e_require() {
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "skipped: $tool is not installed (tools/install-packages installs it)"
      exit 77
    fi
  done
}
e2e_require Xvfb xdotool xclip display convert import xprop xwininfo

scale_pct=${TINCTORA_E2E_SCALE:-100}
scale_with=${TINCTORA_E2E_SCALE_WITH:-xft}

# The device pixel in the middle of layout unit N (of a client area).
dev() {  # dev N
  echo $(((2 * $1 + 1) * scale_pct / 200))
}
# Where an edge at layout place N falls: N times the scale, rounded half up.
edge() {  # edge N
  echo $(((2 * $1 * scale_pct + 100) / 200))
}

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
on_check_failed() { e2e_screenshot "$1"; }

work=$(mktemp -d)
pids=()
shots=0
e2e_cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap e2e_cleanup EXIT

# Waits until COMMAND succeeds; after TIMEOUT seconds the test fails, saying
# what it waited for. The failure is also counted through a file, as the
# wait may run in a command substitution.
wait_until() {  # wait_until TIMEOUT DESCRIPTION COMMAND...
  local timeout=$1 what=$2
  shift 2
  poll_until "$timeout" "$@" && return 0
  echo "FAILED: waited ${timeout}s for $what" >&2
  echo "$what" >>"$work/timeouts"
  e2e_screenshot "timeout" >/dev/null
  return 1
}

# Saves the whole screen as NAME.png among the run's screenshots and prints
# its path.
e2e_screenshot() {
  mkdir -p "$work/shots"
  shots=$((shots + 1))
  local file
  file="$work/shots/$(printf '%02d' "$shots")-$1.png"
  import -window root "$file" 2>/dev/null
  echo "$file"
}

# The colour (RRGGBB) of a screen pixel, from a screenshot.
screen_pixel() {  # screen_pixel X Y
  import -window root -crop "1x1+$1+$2" +repage "$work/pixel.png" 2>/dev/null
  convert "$work/pixel.png" -format '%[hex:u.p{0,0}]' info: 2>/dev/null | cut -c1-6
}

# Starts Xvfb (SIZE, default 1280x1024x24, 2560x1600x24 above 150 %, where
# the centred window would cover the scripts' other windows) and openbox
# when installed.
e2e_start_x() {
  local size=1280x1024x24
  [ "$scale_pct" -gt 150 ] && size=2560x1600x24
  Xvfb -displayfd 3 -screen 0 "${1:-$size}" -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  if ! poll_until 10 test -s "$work/display"; then
    echo "FAILED: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
  fi
  export DISPLAY=":$(head -1 "$work/display")"
  unset WAYLAND_DISPLAY
  export XDG_RUNTIME_DIR="$work"
  chmod 700 "$work"
  wm=""
  if command -v openbox >/dev/null 2>&1; then
    wm=openbox
    openbox >"$work/wm.log" 2>&1 &
    pids+=($!)
    # The last root property openbox sets while it starts.
    wait_until 10 "openbox to start" root_has_property _NET_SHOWING_DESKTOP || exit 1
  fi
  if [ "$scale_pct" != 100 ] && [ "$scale_with" == xft ]; then
    # What xrdb would load: the resolution Qt reads its scale from.
    xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER $'Xft.dpi:\t'"$((96 * scale_pct / 100))"$'\n'
  fi
  read -r screen_w screen_h < <(xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
}

root_has_property() {  # root_has_property NAME
  xprop -root "$1" 2>/dev/null | grep -q '='
}

# Shows a picture file in a window titled TITLE with its top-left client
# corner near X,Y; sets shown_window.
e2e_show_picture() {  # e2e_show_picture FILE TITLE X Y
  display -geometry "+$3+$4" -title "$2" "$1" >/dev/null 2>&1 &
  pids+=($!)
  shown_window=$(e2e_find_window "$2")
}

# Waits until the window shown by e2e_show_picture FILE shows the picture's
# pixel 5,5 on the screen (nothing may cover that corner).
wait_picture_painted() {  # wait_picture_painted FILE
  local corner
  corner=$(convert "$1" -format '%[hex:u.p{5,5}]' info: 2>/dev/null | cut -c1-6)
  wait_until 10 "the picture $1 on the screen" window_shows "$shown_window" 5 5 "$corner"
}

# Whether the screen shows COLOUR at point X,Y of WINDOW's client area.
window_shows() {  # window_shows WINDOW X Y COLOUR
  local wx wy
  eval "$(xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {print "wx=" $4} /Absolute upper-left Y/ {print "wy=" $4}')"
  [ -n "$wx" ] && [ "$(screen_pixel "$((wx + $2))" "$((wy + $3))")" == "$4" ]
}

# Empties the clipboard. xclip stays behind to serve the selection until
# another client takes it, so it must not hold a pipe of the script's.
clear_clipboard() {
  printf '' | xclip -selection clipboard >/dev/null 2>&1
  wait_until 5 "the clipboard to empty" clipboard_empty
}
clipboard_empty() {
  [ -z "$(xclip -o -selection clipboard 2>/dev/null)" ]
}
clipboard_has_text() {
  [ -n "$(xclip -o -selection clipboard 2>/dev/null)" ]
}

# The first visible window whose name matches, waiting up to 20 seconds. A
# search can fail when a window goes while it runs: it is repeated.
e2e_find_window() {  # e2e_find_window NAME
  found_window=""
  poll_until 20 window_named "$1"
  echo "$found_window"
}
window_named() {  # window_named NAME: sets found_window
  found_window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
  [ -n "$found_window" ]
}

# Runs the program (with any VAR=value given) and waits for its window:
# sets program_pid and window.
e2e_start_program() {
  local scaled=()
  if [ "$scale_pct" != 100 ] && [ "$scale_with" == qt ]; then
    scaled=(QT_SCALE_FACTOR="$((scale_pct / 100)).$(printf '%02d' $((scale_pct % 100)))")
  fi
  env "${scaled[@]}" "$@" "$program" >"$work/tinctora.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  window=$(e2e_find_window 'Tinctora V1')
  if [ -z "$window" ]; then
    echo "FAILED: the window did not open"; cat "$work/tinctora.log"; exit 1
  fi
  if ! wait_until 10 "the window framed and painted" window_painted; then
    cat "$work/tinctora.log"; exit 1
  fi
}

# Whether the window is mapped, framed when a window manager runs, and
# painted: the picker pad shows its reticle (black around layout point
# 29,29) and the palette its red cell at 389,342. Sets client_x, client_y.
window_painted() {
  xwininfo -id "$window" 2>/dev/null | grep -q 'Map State: IsViewable' || return 1
  if [ -n "$wm" ]; then xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '=' || return 1; fi
  client_origin
  black_near 29 29 && [ "$(client_pixel 389 342)" == FF0000 ]
}

program_gone() {
  ! kill -0 "$program_pid" 2>/dev/null
}

# The window manager handles requests in the order they come: once it has
# moved WINDOW one pixel to the right, it has handled every request before.
wm_settled() {  # wm_settled WINDOW
  local before
  before=$(window_left "$1")
  xdotool windowmove --relative "$1" 1 0 2>/dev/null
  wait_until 5 "the window manager to move a window" window_left_is_not "$1" "$before"
}
window_left() {  # window_left WINDOW
  xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {print $4}'
}
window_left_is_not() {  # window_left_is_not WINDOW X
  [ "$(window_left "$1")" != "$2" ]
}

# Whether the program shows a window besides the main one: a menu, the
# colour popup or the colour dialog.
program_popup_open() {
  [ -n "$(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | grep -vx "$window")" ]
}
program_popup_closed() {
  ! program_popup_open
}

# Waits for the program to end; checks it ended with 0 after WHAT.
e2e_expect_exit() {  # e2e_expect_exit WHAT
  if ! poll_until 5 program_gone; then
    check "the program after $1" "ended" "running"
    kill "$program_pid" 2>/dev/null
  else
    wait "$program_pid"
    check "the exit status after $1" "0" "$?"
  fi
}

# Whether the screen shows black within two pixels of a layout point of the
# client area: the picker pad's reticle, whose middle falls a pixel apart
# at one scale or another.
black_near() {  # black_near X Y
  import -window root -crop "5x5+$((client_x + $(dev "$1") - 2))+$((client_y + $(dev "$2") - 2))" +repage \
    "$work/near.png" 2>/dev/null
  [ "$(convert "$work/near.png" -colorspace Gray -format '%[min]' info: 2>/dev/null)" == 0 ]
}

# The colour (RRGGBB) the screen shows at a layout point of the client area.
client_pixel() {  # client_pixel X Y
  screen_pixel "$((client_x + $(dev "$1")))" "$((client_y + $(dev "$2")))"
}

# Moves the pointer to a layout point of the client area, with any further
# xdotool commands (click 1, mousedown 1, ...).
pointer_to() {  # pointer_to X Y [COMMAND...]
  local x y
  x=$(dev "$1")
  y=$(dev "$2")
  shift 2
  xdotool mousemove --window "$window" "$x" "$y" "$@"
}

# The client area's top-left corner on the screen: sets client_x, client_y.
client_origin() {
  eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "client_x=" $4} /Absolute upper-left Y/ {print "client_y=" $4}')"
}

# The colour the current-colour box shows.
current_colour() {
  client_pixel 78 345
}

# Whether the picker pad shows its reticle, as it does between picks.
pad_shows_reticle() {
  black_near 29 29
}

# Presses the left button on the picker pad, leaving it held, and waits
# until the pick samples: the pad is emptied first, then, once the pointer
# and the arrow keys are taken, a movement over the emptied pad shows its
# white in the current-colour box (each try moves the pointer again).
start_pick() {
  if [ "$(current_colour)" == FFFFFF ]; then
    echo "FAILED: start_pick needs a current colour other than white" >&2
    echo "a pick started from white" >>"$work/timeouts"
  fi
  xdotool mousemove --sync --window "$window" "$(dev 30)" "$(dev 29)" mousedown 1
  wait_until 5 "the pad to empty for the pick" pad_emptied
  wait_until 5 "the pick to sample the pad" pick_samples_pad
}
pad_emptied() { ! pad_shows_reticle; }
pick_samples_pad() {
  pad_x=$((pad_x == 30 ? 31 : 30))
  pointer_to "$pad_x" 29
  [ "$(current_colour)" == FFFFFF ]
}
pad_x=30

# Releases the button and waits until the pick has ended: the pad shows
# its reticle again.
end_pick() {
  xdotool mouseup 1
  wait_until 5 "the pick to end" pad_shows_reticle
}

# The text of the edit box that has the focus, through its own Ctrl+A Ctrl+C.
focused_box() {
  clear_clipboard
  xdotool key ctrl+a ctrl+c
  wait_until 5 "the box's text on the clipboard" clipboard_has_text
  xclip -o -selection clipboard 2>/dev/null
}

# Clicks an edit box at a layout point of the client area and prints its
# text. The program handles the click before the keys that copy.
read_box() {  # read_box X Y
  pointer_to "$1" "$2" click 1
  focused_box
}

# Copies notation number ITEM (from 1) of the copy menu that a right click
# at layout point X,Y opens (default: the current-colour box) and prints
# the clipboard.
copy_notation() {  # copy_notation ITEM [X Y]
  clear_clipboard
  pointer_to "${2:-78}" "${3:-345}" click 3
  wait_until 5 "the copy menu to open" program_popup_open
  local keys=()
  for ((k = 0; k < $1; k++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
  wait_until 5 "the copied notation on the clipboard" clipboard_has_text
  xclip -o -selection clipboard 2>/dev/null
}

e2e_finish() {
  [ -s "$work/timeouts" ] && failures=$((failures + $(wc -l <"$work/timeouts")))
  if [ "$failures" -ne 0 ]; then
    echo "--- program output"; cat "$work/tinctora.log" 2>/dev/null
    if [ -d "$work/shots" ]; then
      local kept="${TINCTORA_E2E_ARTIFACTS:-${TMPDIR:-/tmp}/tinctora-e2e-artifacts}/$test_name"
      rm -rf "$kept"
      mkdir -p "$kept"
      cp "$work/shots/"*.png "$kept/"
      echo "screenshots kept in $kept"
    fi
    exit 1
  fi
  exit 0
}
