#!/usr/bin/env bash
# End-to-end run of the Windows program, tinctora.exe, under Wine on a
# virtual X server, driven with xdotool as a user would: the window's
# caption, outer size and place; a drag-pick from the picker pad onto
# another program's window of a known colour; the arrow-key nudge during a
# pick; a palette click and a shade-strip click; typing into a channel box;
# the slider keys; a preset of the colour chooser and the colour dialog; the
# copy menu read back from the X clipboard; Escape ending the program with 0.
# Exit 77 (skipped) when Wine or the X tools are missing, or this machine
# runs no 32-bit code. A screenshot is kept where a check fails.
#
# usage: wine_pick.sh PATH/TO/tinctora.exe PREFIX-DIRECTORY [SCREENSHOT-DIRECTORY]
set -uo pipefail

program=${1:?usage: wine_pick.sh PATH/TO/tinctora.exe PREFIX [SHOTS]}
prefix=${2:?usage: wine_pick.sh PATH/TO/tinctora.exe PREFIX [SHOTS]}
shots=${3:-$(dirname "$program")/e2e-screens}
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

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The prefix: Wine draws the frame itself and the dialog fonts are a CJK
# face. Made once and kept in the build tree.
"$here"/../wine-prefix.sh "$prefix" >/dev/null || { echo "FAILED: the Wine prefix could not be made"; exit 1; }
export WINEPREFIX=$(cd "$prefix" && pwd) WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

failures=0
shot() {  # shot NAME: keeps the screen as it is now
  mkdir -p "$shots"
  import -window root "$shots/$1.png" 2>/dev/null && echo "  screen kept in $shots/$1.png"
}
check() {  # check WHAT EXPECTED GOT
  if [ "$2" == "$3" ]; then
    echo "ok: $1 is $3"
  else
    echo "FAILED: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
    shot "failure-$failures"
  fi
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "FAILED: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY

# The screen's pixel at X Y as RRGGBB.
pixel_at() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | tail -1 | grep -o '#[0-9A-F]\{6\}' | tr -d '#'
}

# Another program's window of a colour whose channels all differ, so a
# swapped order shows.
convert -size 160x120 xc:'#3366CC' "$work/target.png"
display -geometry +40+40 -title pick-target "$work/target.png" >/dev/null 2>&1 &
pids+=($!)
xdotool search --sync --onlyvisible --name pick-target >/dev/null

started=$(date +%s%N)
(wine "$program"; echo $? >"$work/exit") >"$work/tinctora.log" 2>&1 &
pids+=($!)
window=$(timeout 60 xdotool search --sync --onlyvisible --name 'Tinctora V1' | head -1)
if [ -z "$window" ]; then
  echo "FAILED: the window did not open"; cat "$work/tinctora.log"; exit 1
fi
echo "the window mapped $(( ($(date +%s%N) - started) / 1000000 )) ms after the start"
sleep 1

check "the caption" "Tinctora V1.0    (2018-08-16)" "$(xdotool getwindowname "$window")"
eval "$(xdotool getwindowgeometry --shell "$window")"
check "the outer size" "613x430" "${WIDTH}x${HEIGHT}"
check "the window's place (centred)" "$(((1280 - 613) / 2)),$(((1024 - 430) / 2))" "$X,$Y"

# The client area's origin on the screen: the left border's width, and the
# caption's height below the top edge, found as the first row of the
# picker pad's white under the frame.
border=$(( (WIDTH - 607) / 2 ))
caption=$(( HEIGHT - 401 - border ))
cx=$((X + border)) cy=$((Y + caption))
at() { echo $((cx + $1)) $((cy + $2)); }

# Copies the current colour's notation number ITEM (counted from 1) from the
# copy menu of the current-colour box and prints the clipboard.
copy_notation() {
  xdotool mousemove $(at 78 345) click 3
  sleep 0.6
  for ((k = 0; k < $1; k++)); do xdotool key Down; done
  xdotool key Return
  sleep 0.6
  xclip -o -selection clipboard 2>/dev/null
}
hex() { copy_notation 2; }

# A drag from the picker pad onto the other program's window, passing
# outside every window, then back.
xdotool mousemove $(at 30 29)
sleep 0.2
xdotool mousedown 1
sleep 0.3
xdotool mousemove 700 60
sleep 0.3
xdotool mousemove 100 90
sleep 0.5
# The zoom view shows the pixels round the pointer while the drag goes on.
check "a pixel of the zoom view during the drag" "3366CC" "$(pixel_at $(at 40 90))"
xdotool mouseup 1
sleep 0.5
check "the picked colour (hex notation)" "3366CC" "$(hex)"
check "the picked colour (RGB notation)" "51,102,204" "$(copy_notation 3)"
check "the picked colour (decimal notation)" "$((0xCC6633))" "$(copy_notation 1)"
# The coordinates box: selected and copied with the edit control's own keys.
xdotool mousemove $(at 340 74) click 1
sleep 0.2
xdotool key ctrl+a ctrl+c
sleep 0.3
check "the coordinates box after the pick" "100,90" "$(xclip -o -selection clipboard 2>/dev/null)"

# The arrow keys nudge the pointer while the button is held. The release
# happens over the program's own window: Wine's pointer warp ends X's hold
# on the pressed button, so a release elsewhere would not reach it.
xdotool mousemove $(at 30 29)
sleep 0.2
xdotool mousedown 1
sleep 0.3
read -r px py <<<"$(at 480 340)"
xdotool mousemove "$px" "$py"
sleep 0.3
xdotool key Right Right Down
sleep 0.4
eval "$(xdotool getmouselocation --shell)"
check "the pointer after the nudge keys" "$((px + 2)),$((py + 1))" "$X,$Y"
expected=$(pixel_at "$X" "$Y")
xdotool mouseup 1
sleep 0.5
check "the colour picked after the nudge" "$expected" "$(hex)"
xdotool mousemove $(at 340 74) click 1
sleep 0.2
xdotool key ctrl+a ctrl+c
sleep 0.3
check "the coordinates box after the nudge" "$X,$Y" "$(xclip -o -selection clipboard 2>/dev/null)"

# A click on the palette and on the shade strip takes exactly the pixel
# clicked.
read -r px py <<<"$(at 430 320)"
expected=$(pixel_at "$px" "$py")
xdotool mousemove "$px" "$py" click 1
sleep 0.5
check "the colour of a palette click" "$expected" "$(hex)"
read -r px py <<<"$(at 260 306)"
expected=$(pixel_at "$px" "$py")
xdotool mousemove "$px" "$py" click 1
sleep 0.5
check "the colour of a shade-strip click" "$expected" "$(hex)"

# Typing into the channel boxes: digits only.
xdotool mousemove $(at 430 183) click 1
sleep 0.2
xdotool key ctrl+a
xdotool type --delay 60 "1x2a8"
xdotool mousemove $(at 430 222) click 1
sleep 0.2
xdotool key ctrl+a
xdotool type --delay 60 "64"
xdotool mousemove $(at 430 260) click 1
sleep 0.2
xdotool key ctrl+a
xdotool type --delay 60 "0"
sleep 0.5
check "the colour after typing 128, 64 and 0" "804000" "$(hex)"

# The slider keys, as the track bar has them: Right, PageDown and Down
# increase, Up decreases, End and Home go to the ends. A click gives the red
# slider the focus (Wine's track bar does not page on a click, Windows'
# does: the keys count from wherever the click left it).
xdotool mousemove $(at 590 170) click 1
sleep 0.3
red=$((16#$(hex | cut -c1-2)))
xdotool key Right Next Down Down Up
sleep 0.4
check "the colour after Right, PageDown, Down, Down, Up" "$(printf '%02X4000' $((red + 7)))" "$(hex)"
xdotool key End
sleep 0.3
check "the colour after End" "FF4000" "$(hex)"
xdotool key Home
sleep 0.3
check "the colour after Home" "004000" "$(hex)"

# A preset of the colour chooser: the popup opens below the chooser; the
# swatch in the second row, third column is taken as shown.
xdotool mousemove $(at 177 379) click 1
sleep 0.8
read -r px py <<<"$(at $((152 + 4 + 2 * 20 + 8)) $((394 + 4 + 20 + 8)))"
expected=$(pixel_at "$px" "$py")
xdotool mousemove "$px" "$py" click 1
sleep 0.6
check "the colour of a chooser preset" "$expected" "$(hex)"

# The colour dialog, from the entry below the presets: a basic colour
# clicked there and OK.
xdotool mousemove $(at 177 379) click 1
sleep 0.8
xdotool mousemove $(at 202 $((394 + 4 + 4 * 20 + 10))) click 1
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Colou?r$' | head -1)
if [ -z "$dialog" ]; then
  check "the colour dialog" "open" "not found"
else
  sleep 0.8
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  # The first basic colour of the second row.
  read -r px py <<<"$((X + 18)) $((Y + 76))"
  expected=$(pixel_at "$px" "$py")
  xdotool mousemove "$px" "$py" click 1
  sleep 0.3
  xdotool key Return
  sleep 0.8
  check "the colour chosen in the dialog" "$expected" "$(hex)"
fi

# Escape, which the focused control leaves alone, closes the window and the
# program ends with 0.
xdotool mousemove $(at 430 183) click 1
sleep 0.3
xdotool key Escape
for _ in $(seq 100); do [ -s "$work/exit" ] && break; sleep 0.1; done
check "the exit code after Escape" "0" "$(cat "$work/exit" 2>/dev/null || echo running)"

if [ "$failures" -ne 0 ]; then
  echo "--- program output"; cat "$work/tinctora.log"
  exit 1
fi
exit 0
