# Shared by the end-to-end scripts: a virtual X server with a window
# manager, the program started on it, checks, and the ways the scripts read
# what the program shows: the clipboard (xclip, after the program's copy
# menu or an edit box's own Ctrl+A Ctrl+C) and screenshots (import).
#
# A script sets `test_name`, sources this file, calls e2e_start_x, and ends
# with e2e_finish. Exit 77 (skipped) when the X tools are not installed.
# Screenshots taken along the way are kept under TINCTORA_E2E_ARTIFACTS
# when a check fails.

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

work=$(mktemp -d)
pids=()
failures=0
shots=0
e2e_cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap e2e_cleanup EXIT

check() {  # check WHAT EXPECTED GOT
  if [ "$2" == "$3" ]; then
    echo "ok: $1 is $3"
  else
    echo "FAILED: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
    e2e_screenshot "failed-$failures"
  fi
}

check_within() {  # check_within WHAT EXPECTED GOT TOLERANCE (integers)
  local d=$(($3 - $2))
  if [ "${d#-}" -le "$4" ]; then
    echo "ok: $1 is $3 (expected $2 within $4)"
  else
    echo "FAILED: $1: expected $2 within $4, got $3"
    failures=$((failures + 1))
    e2e_screenshot "failed-$failures"
  fi
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

# Starts Xvfb (SIZE, default 1280x1024x24) and openbox when installed.
e2e_start_x() {
  Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  if [ ! -s "$work/display" ]; then
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
    for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
    sleep 0.3
  fi
  read -r screen_w screen_h < <(xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
}

# Shows a picture file in a window titled TITLE with its top-left client
# corner near X,Y; sets shown_window.
e2e_show_picture() {  # e2e_show_picture FILE TITLE X Y
  display -geometry "+$3+$4" -title "$2" "$1" >/dev/null 2>&1 &
  pids+=($!)
  shown_window=$(e2e_find_window "$2")
}

# Empties the clipboard. xclip stays behind to serve the selection until
# another client takes it, so it must not hold a pipe of the script's.
clear_clipboard() {
  printf '' | xclip -selection clipboard >/dev/null 2>&1
}

# The first visible window whose name matches, waiting up to 20 seconds. A
# search can fail when a window goes while it runs: it is repeated.
e2e_find_window() {  # e2e_find_window NAME
  local found=""
  for _ in $(seq 100); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$found" ] && break
    sleep 0.2
  done
  echo "$found"
}

# Runs the program (with any VAR=value given) and waits for its window:
# sets program_pid and window.
e2e_start_program() {
  env "$@" "$program" >"$work/tinctora.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  window=$(e2e_find_window 'Tinctora V1')
  if [ -z "$window" ]; then
    echo "FAILED: the window did not open"; cat "$work/tinctora.log"; exit 1
  fi
  # The first paint and the window manager's frame.
  sleep 0.8
}

# Waits for the program to end; checks it ended with 0 after WHAT.
e2e_expect_exit() {  # e2e_expect_exit WHAT
  for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$program_pid" 2>/dev/null; then
    check "the program after $1" "ended" "running"
    kill "$program_pid" 2>/dev/null
  else
    wait "$program_pid"
    check "the exit status after $1" "0" "$?"
  fi
}

# The client area's top-left corner on the screen: sets client_x, client_y.
client_origin() {
  eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "client_x=" $4} /Absolute upper-left Y/ {print "client_y=" $4}')"
}

# Presses the left button on the picker pad, leaving it held.
start_pick() {
  xdotool mousemove --window "$window" 30 29
  sleep 0.2
  xdotool mousedown 1
  sleep 0.3
}

# The text of the edit box that has the focus, through its own Ctrl+A Ctrl+C.
focused_box() {
  xdotool key ctrl+a ctrl+c
  sleep 0.3
  xclip -o -selection clipboard 2>/dev/null
}

# Clicks an edit box at a point of the client area and prints its text.
read_box() {  # read_box X Y
  xdotool mousemove --window "$window" "$1" "$2" click 1
  sleep 0.2
  focused_box
}

# Copies notation number ITEM (from 1) of the copy menu that a right click
# at client point X,Y opens (default: the current-colour box) and prints
# the clipboard.
copy_notation() {  # copy_notation ITEM [X Y]
  clear_clipboard
  xdotool mousemove --window "$window" "${2:-78}" "${3:-345}" click 3
  sleep 0.5
  for ((k = 0; k < $1; k++)); do xdotool key Down; done
  xdotool key Return
  sleep 0.5
  xclip -o -selection clipboard 2>/dev/null
}

e2e_finish() {
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
