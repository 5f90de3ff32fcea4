#!/usr/bin/env bash
# The main window as the window manager sees it: caption, client size,
# centred, always on top, in the taskbar, fixed size with no maximise, can
# be minimised; Escape, the close button and Alt+F4 end the program with 0.
# Without a display the program says so in one line.
#
# usage: window.sh PATH/TO/tinctora
program=${1:?usage: window.sh PATH/TO/tinctora}
test_name=window
. "$(dirname "$0")/lib.sh"

window_state() {
  xprop -id "$window" WM_STATE | sed -n 's/.*window state: //p'
}

# No display, a dead display, a Wayland session without X11: one line on
# the error stream, a non-zero status, nothing else.
no_display() {  # no_display WHAT SAYS ENV...
  local what=$1 says=$2
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR "$@" "$program" >"$work/out" 2>"$work/err"
  local status=$?
  check "the status with $what" "non-zero" "$([ "$status" -ne 0 ] && echo non-zero || echo 0)"
  check "the lines printed with $what" "1" "$(cat "$work/out" "$work/err" | wc -l)"
  check "what the program says with $what" "yes" "$(grep -q "$says" "$work/err" && echo yes || echo no)"
  echo "   ($what: $(head -1 "$work/err"))"
}
no_display "DISPLAY unset" 'needs an X11 display'
no_display "a dead display" 'needs an X11 display' DISPLAY=:250
# With WAYLAND_DISPLAY set the program is a Wayland client.
no_display "a dead Wayland display" 'needs a Wayland display' WAYLAND_DISPLAY=wayland-250 XDG_RUNTIME_DIR="$work"
no_display "Wayland without its runtime folder" 'XDG_RUNTIME_DIR is not set' WAYLAND_DISPLAY=wayland-0
no_display "X11 asked for without DISPLAY" 'needs an X11 display' TINCTORA_PLATFORM=x11 WAYLAND_DISPLAY=wayland-0
no_display "an unknown platform" 'neither x11 nor wayland' TINCTORA_PLATFORM=mir

e2e_start_x
e2e_start_program
e2e_screenshot started >/dev/null

check "the caption" "Tinctora V1.0    (2018-08-16)" "$(xdotool getwindowname "$window")"
client_origin
read -r width height < <(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
# 607 x 401 layout units, at the scale (TINCTORA_E2E_SCALE).
size="$(edge 607)x$(edge 401)"
check "the client size" "$size" "${width}x${height}"

hints=$(xprop -id "$window" WM_NORMAL_HINTS)
check "the minimum size hint" "${size/x/ by }" "$(sed -n 's/.*minimum size: //p' <<<"$hints")"
check "the maximum size hint" "${size/x/ by }" "$(sed -n 's/.*maximum size: //p' <<<"$hints")"
# Motif hints: flags, functions, decorations. Maximise is function 0x10 and
# decoration 0x40; minimise is function 0x8.
read -r _ functions decorations _ < <(xprop -id "$window" _MOTIF_WM_HINTS | sed 's/.*= //; s/,//g')
check "a maximise function in the Motif hints" "no" "$( (( functions & 0x10 )) && echo yes || echo no)"
check "a maximise box in the Motif hints" "no" "$( (( decorations & 0x40 )) && echo yes || echo no)"
check "a minimise function in the Motif hints" "yes" "$( (( functions & 0x8 )) && echo yes || echo no)"
state=$(xprop -id "$window" _NET_WM_STATE)
check "the above state" "yes" "$(grep -q _NET_WM_STATE_ABOVE <<<"$state" && echo yes || echo no)"
check "a skip-taskbar state" "no" "$(grep -q SKIP_TASKBAR <<<"$state" && echo yes || echo no)"

if [ -n "$wm" ]; then
  # Centred by the whole frame, as the manager drew it.
  read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  frame_centre_x=$(((client_x - left) + (left + width + right) / 2))
  frame_centre_y=$(((client_y - top) + (top + height + bottom) / 2))
  check_within "the frame's centre x" "$((screen_w / 2))" "$frame_centre_x" 1
  check_within "the frame's centre y" "$((screen_h / 2))" "$frame_centre_y" 1

  actions=$(xprop -id "$window" _NET_WM_ALLOWED_ACTIONS)
  check "maximise among the allowed actions" "no" "$(grep -q MAXIMIZE <<<"$actions" && echo yes || echo no)"
  check "minimise among the allowed actions" "yes" "$(grep -q MINIMIZE <<<"$actions" && echo yes || echo no)"

  # Another window, moved to learn when the manager has handled what came
  # before.
  convert -size 300x300 xc:'#808000' "$work/other.png"
  e2e_show_picture "$work/other.png" other-window 400 400
  other=$shown_window

  # The title bar's maximise button (the manager shows it disabled) and a
  # maximise request leave the window as it was.
  xdotool mousemove "$((client_x + width - 27))" "$((client_y - top / 2))" click 1
  xdotool windowsize "$window" 900 700
  wm_settled "$other"
  read -r width2 height2 < <(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
  check "the client size after maximise and resize requests" "$size" "${width2}x${height2}"

  # Another window raised over it stays below it.
  xdotool windowactivate --sync "$other" 2>/dev/null
  xdotool windowraise "$other"
  wm_settled "$other"
  stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
  top_window=$(awk '{print $NF}' <<<"$stacking")
  check "the topmost window while another is active" "$(printf '0x%x' "$window")" "$top_window"
  e2e_screenshot other-active >/dev/null

  # Minimised, and back.
  xdotool windowminimize "$window"
  check_soon "the state after minimising" "Iconic" 5 window_state
  xdotool windowactivate --sync "$window"
  check_soon "the state after restoring" "Normal" 5 window_state
fi

# Escape closes the window.
xdotool windowactivate --sync "$window"
xdotool key Escape
e2e_expect_exit "Escape"

if [ -n "$wm" ]; then
  # The close button at the right end of the title bar.
  e2e_start_program
  client_origin
  read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  xdotool mousemove "$((client_x + $(edge 607) - 8))" "$((client_y - top / 2))" click 1
  e2e_expect_exit "the close button"

  e2e_start_program
  xdotool windowactivate --sync "$window"
  xdotool key alt+F4
  e2e_expect_exit "Alt+F4"
fi

e2e_finish
