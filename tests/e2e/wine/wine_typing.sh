#!/usr/bin/env bash
# Typing into a channel box of the Windows program, tinctora.exe, under Wine
# on a virtual X server, driven with xdotool as a user would: a click in
# the red box, the box cleared with Backspace (it reads "0", selected), then
# digits typed at once. 200, 25 and 7 go in as typed; 999 becomes 255;
# typing after a 255 replaces it. Red is read from the current-colour box
# on the screen while typing, and the box's own text (its Ctrl+A Ctrl+C)
# only once a value is complete, so that no reading changes what the next
# keystroke does. Every step waits for what it expects, up to a limit.
# Exit 77 (skipped) when Wine or the X tools are missing, or this machine
# runs no 32-bit code. A screenshot is kept where a check fails.
#
# The display's scale is DPI / 96 (96 when not given; 144 is 150 %): the
# window's places are clicked and read at their layout place times the
# scale, rounded as the program rounds its edges.
#
# usage: wine_typing.sh PATH/TO/tinctora.exe PREFIX-DIRECTORY [SCREENSHOT-DIRECTORY [DPI]]
set -uo pipefail

usage="usage: wine_typing.sh PATH/TO/tinctora.exe PREFIX [SHOTS [DPI]]"
program=${1:?$usage}
prefix=${2:?$usage}
shots=${3:-$(dirname "$program")/e2e-screens}
dpi=${4:-96}
[[ "$dpi" =~ ^[1-9][0-9]*$ ]] || { echo "$usage (DPI a whole number, got '$dpi')"; exit 2; }
# A layout length or place (1/96 inch) in device pixels at the DPI,
# rounded half up as the program places its edges.
device_px() { echo $(((2 * $1 * dpi + 96) / 192)); }
# The virtual screen is 1280 x 1024 at 96 DPI, and as large in inches at
# any other: the window and the other program's window stay apart.
screen_w=$(device_px 1280) screen_h=$(device_px 1024)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
for tool in wine Xvfb xdotool xclip import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (tools/test-windows-core installs it)"
    exit 77
  fi
done
if ! "$root"/tools/runs-32-bit-code; then
  echo "skipped: this machine runs no 32-bit x86 code, which 32-bit Wine needs"
  exit 77
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$here"/../wine-prefix.sh "$prefix" "$dpi" >/dev/null || { echo "FAILED: the Wine prefix could not be made"; exit 1; }
export WINEPREFIX=$(cd "$prefix" && pwd) WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

shot() {  # shot NAME: keeps the screen as it is now
  mkdir -p "$shots"
  import -window root "$shots/$1.png" 2>/dev/null && echo "  screen kept in $shots/$1.png"
}
source "$here"/../checks.sh
on_check_failed() { shot "typing-$dpi-${1/failed/failure}"; }

Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "FAILED: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY

(wine "$program"; echo $? >"$work/exit") >"$work/tinctora.log" 2>&1 &
pids+=($!)
window=$(timeout 60 xdotool search --sync --onlyvisible --name 'Tinctora V1' | head -1)
if [ -z "$window" ]; then
  echo "FAILED: the window did not open"; cat "$work/tinctora.log"; exit 1
fi

# The client area's origin on the screen (Wine draws the frame: the
# borders and the caption are its own, the client area the layout's
# 607 x 401 units at the scale; wine_pick.sh checks its size).
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(( (WIDTH - $(device_px 607)) / 2 ))
cx=$((X + border)) cy=$((Y + HEIGHT - $(device_px 401) - border))
at() { echo $((cx + $(device_px "$1"))) $((cy + $(device_px "$2"))); }

# The screen's pixel at X Y as RRGGBB.
pixel_at() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | tail -1 | grep -o '#[0-9A-F]\{6\}' | tr -d '#'
}
# Red (0 to 255) of the current-colour box as the screen shows it.
shown_red() {
  local rgb
  rgb=$(pixel_at $(at 78 345))
  [ -n "$rgb" ] && echo "$((16#${rgb:0:2}))"
}
# The focused box's text, through its own Ctrl+A Ctrl+C.
clipboard() { xclip -o -selection clipboard 2>/dev/null; }
focused_box() {
  # xclip stays behind to serve the empty text until another client takes
  # the clipboard: it holds no pipe of the script's, and the keys go once
  # it owns the clipboard, so that the box's copy replaces it rather than
  # the other way round.
  printf '' | xclip -i -selection clipboard >/dev/null 2>&1
  for _ in $(seq 50); do [ -z "$(clipboard)" ] && break; sleep 0.1; done
  xdotool key ctrl+a ctrl+c
  for _ in $(seq 30); do [ -n "$(clipboard)" ] && break; sleep 0.1; done
  clipboard
}
# Clicks into the red box, goes to its end and deletes every character.
clear_red_box() {
  xdotool mousemove $(at 430 183) click 1
  xdotool key End BackSpace BackSpace BackSpace BackSpace
}

# The window takes input once the program shows the first colour.
red_is() { [ "$(shown_red)" == "$1" ]; }
poll_until 5 red_is 0
for value in 200 25 7 999; do
  expected=$value
  [ "$value" -gt 255 ] && expected=255
  clear_red_box
  check_soon "red after clearing the box" "0" 5 shown_red
  # As fast as xdotool types: a key well within one display frame.
  xdotool type --delay 5 "$value"
  check_soon "red after typing $value" "$expected" 5 shown_red
  check "the red box after typing $value" "$expected" "$(focused_box)"
done

# Typing after a corrected 255 replaces it: 999 becomes 255, selected, and
# the next digits are a new value.
clear_red_box
xdotool type --delay 5 "999"
check_soon "red after typing 999 again" "255" 5 shown_red
xdotool type --delay 5 "42"
check_soon "red after typing 42 after the 255" "42" 5 shown_red
check "the red box after typing 42 after the 255" "42" "$(focused_box)"

# Escape, which the box leaves alone, closes the window; the program ends with 0.
xdotool key Escape
for _ in $(seq 100); do [ -s "$work/exit" ] && break; sleep 0.1; done
check "the exit code after Escape" "0" "$(cat "$work/exit" 2>/dev/null || echo running)"

if [ "$failures" -ne 0 ]; then
  echo "--- program output"; cat "$work/tinctora.log"
  exit 1
fi
exit 0
