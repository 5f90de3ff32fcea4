#!/usr/bin/env bash
# End-to-end run of tinctora on a virtual X server: the window's client
# size, a drag-pick from the picker pad onto a window of a known colour with
# the nudge hot keys, a typed channel value, the copy menu and the
# clipboard, a paste from an edit box's menu, a pick lost to the window
# manager, and closing with Escape.
# Exit 77 (skipped) when the X tools are not installed.
#
# usage: desktop_pick.sh PATH/TO/tinctora
set -uo pipefail

program=${1:?usage: desktop_pick.sh PATH/TO/tinctora}
for tool in Xvfb xdotool xclip display convert; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (tools/install-packages installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() {  # check WHAT EXPECTED GOT
  if [ "$2" == "$3" ]; then
    echo "ok: $1 is $3"
  else
    echo "FAILED: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  fi
}

# The server picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "FAILED: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work"

# A window manager frames the windows as on a desktop, when there is one.
wm=""
if command -v openbox >/dev/null 2>&1; then
  wm=openbox
  openbox >"$work/wm.log" 2>&1 &
  pids+=($!)
  sleep 0.5
fi

# A target of a colour whose channels all differ, so a swapped order shows.
convert -size 120x120 xc:'#3366CC' "$work/target.png"
display -geometry +40+40 -title pick-target "$work/target.png" >/dev/null 2>&1 &
pids+=($!)
target=$(xdotool search --sync --onlyvisible --name pick-target | head -1)

"$program" >"$work/tinctora.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
window=$(timeout 20 xdotool search --sync --onlyvisible --name 'Tinctora V1' | head -1)
if [ -z "$window" ]; then
  echo "FAILED: the window did not open"; cat "$work/tinctora.log"; exit 1
fi
sleep 1

eval "$(xdotool getwindowgeometry --shell "$window")"
check "the client size" "607x401" "${WIDTH}x${HEIGHT}"

# Copies the current colour's notation number ITEM (counted from 1) from the
# copy menu of the current-colour box and prints the clipboard.
copy_notation() {
  xdotool mousemove --window "$window" 78 345 click 3
  sleep 0.5
  for ((k = 0; k < $1; k++)); do xdotool key Down; done
  xdotool key Return
  sleep 0.5
  xclip -o -selection clipboard 2>/dev/null
}

# Drag from the picker pad onto the target, passing outside every window.
xdotool mousemove --window "$window" 30 29
sleep 0.2
xdotool mousedown 1
sleep 0.2
xdotool mousemove 700 60
sleep 0.2
xdotool mousemove --window "$target" 60 50
sleep 0.3
eval "$(xdotool getmouselocation --shell)"
# While the pick is on, the arrow keys are hot keys that nudge the pointer.
xdotool key Right Right Down
sleep 0.3
picked="$((X + 2)),$((Y + 1))"
eval "$(xdotool getmouselocation --shell)"
check "the pointer after the nudge keys" "$picked" "$X,$Y"
xdotool mouseup 1
sleep 0.5

check "the picked colour (hex notation)" "3366CC" "$(copy_notation 2)"
check "the picked colour (decimal notation)" "$((0xCC6633))" "$(copy_notation 1)"

# The coordinates box: selected and copied with the edit box's own keys.
xdotool mousemove --window "$window" 340 74 click 1
sleep 0.2
xdotool key ctrl+a ctrl+c
sleep 0.3
check "the coordinates box" "$picked" "$(xclip -o -selection clipboard 2>/dev/null)"

# The red channel box takes digits only: the letters are refused as typed.
xdotool mousemove --window "$window" 430 183 click 1
sleep 0.2
xdotool key ctrl+a
xdotool type --delay 60 "1x2a8"
sleep 0.5
check "the colour after typing into the red box" "8066CC" "$(copy_notation 2)"

# A paste from the edit box's own menu goes through the program's rules too:
# the green box takes three characters of the first line.
printf '12345\n67' | xclip -selection clipboard
xdotool mousemove --window "$window" 430 222 click 1
sleep 0.2
xdotool key ctrl+a
xdotool click 3
sleep 0.5
xdotool key p
sleep 0.5
check "the colour after pasting into the green box" "807BCC" "$(copy_notation 2)"

# A window manager can take the pointer away: a pick whose window is
# minimised ends, and its arrow keys no longer nudge the pointer.
if [ -n "$wm" ]; then
  xdotool mousemove --window "$window" 30 29
  sleep 0.2
  xdotool mousedown 1
  sleep 0.2
  xdotool mousemove 700 60
  sleep 0.2
  xdotool windowminimize "$window"
  sleep 0.5
  xdotool key Right
  sleep 0.3
  eval "$(xdotool getmouselocation --shell)"
  check "the pointer after a nudge key once the pick was lost" "700,60" "$X,$Y"
  xdotool mouseup 1
  xdotool windowactivate --sync "$window"
  sleep 0.5
  xdotool mousemove --window "$window" 430 183 click 1
  sleep 0.2
fi

# Escape, which the focused edit box leaves alone, closes the window and the
# program ends with 0.
xdotool key Escape
for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program_pid" 2>/dev/null; then
  check "the program after Escape" "ended" "running"
else
  wait "$program_pid"
  check "the exit code after Escape" "0" "$?"
fi

if [ "$failures" -ne 0 ]; then
  echo "--- program output"; cat "$work/tinctora.log"
  exit 1
fi
exit 0
