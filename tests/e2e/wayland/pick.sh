#!/usr/bin/env bash
# Picks of the program running as a Wayland client on sway (session.sh):
# a press on the picker pad freezes every output under a full-screen
# overlay of the program's; the pointer moved over an overlay is the pick's
# pointer, a click ends the pick, the arrow keys nudge it by one physical
# pixel and Esc ends it as a lost capture. Checked against grim's pictures:
#  - the overlays show the screen as it was when the pick began;
#  - the coordinates box gives the physical pixel under the pointer (each
#    output at its layout place times the scale, the second output to the
#    right of the first), the copy menu's hexadecimal the colour grim sees
#    there, and the zoom view the 21 x 21 pixels around it;
#  - Right and Down move the pick by one pixel, across a colour boundary,
#    and the overlay frames the pixel; a click after them, the pointer
#    not moved, ends the pick there;
#  - Esc ends the pick: the overlays leave sway's tree, the program's window
#    has the keyboard again, and the colour last read goes into the history
#    once, as a release's does;
#  - outside a pick, clicks on the palette, the shade strip and the zoom
#    view take the colour grim sees where they fall;
#  - the program writes how long the pick took to start (TINCTORA_STATS)
#    when its window is closed, and ends.
# The pick happens a pixel short of the corner of the background's
# quadrants (session.sh's default background), so the zoom view shows four
# colours; with two outputs the first pick happens on the second output
# right of the outputs' common edge, so the zoom view shows both outputs.
#
# usage: pick.sh PATH/TO/tinctora
# WL_SCALE, WL_OUTPUTS, WL_XWAYLAND and WL_MODE as session.sh reads them.
# With TINCTORA_E2E_WAYLAND_SHOT=FILE a screenshot of a pick in progress
# (the pointer included) is saved there. Exit 0 when all checks hold, 1 on
# a failure, 77 when the machine cannot run the session.
program=$(realpath "${1:?usage: pick.sh PATH/TO/tinctora}")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/session.sh"
. "$here/checks.sh"

pixels() { python3 "$here/pixels.py" "$@"; }
# The folder screenshots of a failed run are kept in, one a configuration.
wl_test_name=pick$([ "${WL_XWAYLAND:-1}" = 1 ] && echo -xwayland)$([ "${WL_SCALE:-1}" != 1 ] && echo "-scale-$WL_SCALE")
wl_test_name+=$([ "${WL_OUTPUTS:-1}" != 1 ] && echo "-outputs-$WL_OUTPUTS")

wl_install
wl_start || exit 1
echo "note: the session came up in ${wl_start_ms} ms (scale $WL_SCALE, $WL_OUTPUTS output(s)," \
  "XWayland $([ "$WL_XWAYLAND" = 1 ] && echo on || echo off))"
chmod 755 "$(dirname "$program")" 2>/dev/null

mw=${WL_MODE%x*} mh=${WL_MODE#*x}
scale=$WL_SCALE
# Where layout place N of the window falls in physical pixels, as grim's
# pictures and the X11 backend count them (N times the scale, rounded half
# up); whether that is a whole number.
phys() { awk -v n="$1" -v s="$scale" 'BEGIN {printf "%d\n", n * s + 0.5}'; }
phys_whole() { awk -v n="$1" -v s="$scale" 'BEGIN {exit (n * s == int(n * s)) ? 0 : 1}'; }
# The program's own pixels are painted at the scale and the compositor may
# resample them at a fractional one: colours read there may differ by a few.
tolerance=$(awk -v s="$scale" 'BEGIN {print (s == int(s)) ? 0 : 3}')

# ---- the program's window ---------------------------------------------------

# The window opens on the focused output: the first.
swaymsg_ focus output "$(swaymsg_ -t get_outputs -r | python3 -c 'import json, sys
print(sorted(o["name"] for o in json.load(sys.stdin))[0])')" >/dev/null
wl_run_bg "$wl_work/tinctora.log" TINCTORA_STATS="$wl_home/stats" "$program"
program_pid=$wl_last_pid
check_soon "the program's window in sway's tree" yes 20 has_view tinctora
check "the program runs as a Wayland client" xdg_shell "$(view_field tinctora shell)"
# Top right on the first output, clear of the quadrants' corner, its client
# corner on a whole physical pixel (its content then lands unresampled).
read -r ow < <(wl_output_rect 1 | awk -F'[ ,x]' '{print $3}')
read -r _ _ ww _ < <(view_field tinctora rect)
place_x=$((ow - ww - 8)) place_y=8
for _ in 1 2 3; do
  swaymsg_ "[app_id=tinctora] move absolute position $place_x $place_y" >/dev/null
  read -r px py _ _ < <(view_field tinctora window_rect)
  phys_whole "$px" || { place_x=$((place_x + 1)); continue; }
  phys_whole "$py" || { place_y=$((place_y + 1)); continue; }
  break
done
echo "note: the window's client area at layout $px,$py (physical $(phys "$px"),$(phys "$py"))"
check_soon "grim sees the palette's red cell" FF0000 10 client_pixel 389 342
# The pointer over the window gives it the keyboard.
wl_pointer $((px + 300)) $((py + 385))
check_soon "the program's title bar focused" 00FF00 10 title_pixel tinctora

# ---- reading what the program shows --------------------------------------------

program_focused() { [ "$(title_pixel tinctora)" == 00FF00 ]; }
# The text of the coordinates box, through its own Ctrl+A Ctrl+C.
coordinates_box() {
  wl_copy ""
  wl_pointer $((px + 340)) $((py + 75)) click 1
  poll_until 5 program_focused
  wl_key ctrl+a ctrl+c
  poll_until 5 clipboard_filled
  wl_key End  # the text no longer selected
  wl_paste
}

# ---- picks ---------------------------------------------------------------------------

# The overlays in sway's tree: OUTPUT:F (focused) or OUTPUT:- for each.
overlays() {
  swaymsg_ -t get_tree -r 2>/dev/null | python3 -c '
import json, sys
def views(n, output=None):
    if n.get("type") == "output":
        output = n.get("name")
    if n.get("type") in ("con", "floating_con") and n.get("pid"):
        yield output, n
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        yield from views(c, output)
print(" ".join(sorted("%s:%s" % (o, "F" if v.get("focused") else "-")
                      for o, v in views(json.load(sys.stdin)) if v.get("name") == "Tinctora pick")))'
}
overlay_count() { overlays | wc -w; }
output_name() {  # output_name X: the output holding physical column X
  swaymsg_ -t get_outputs -r | python3 -c 'import json, sys
print(sorted(o["name"] for o in json.load(sys.stdin))[int(sys.argv[1])])' $(($1 / mw))
}

# A press on the picker pad starts a pick; checks that an overlay comes on
# every output. The picture before it is kept as the frozen picture to
# expect ($frozen): the outputs side by side, physical pixels.
start_pick() {  # start_pick NAME
  mkdir -p "$wl_work/shots"
  frozen="$wl_work/shots/$1-before.png"
  wl_shot "$frozen"
  wl_pointer $((px + 30)) $((py + 29)) click 1
  check_soon "overlays on every output after a press on the picker pad ($1)" "$WL_OUTPUTS" 5 overlay_count
  [ "$soon_got" == "$WL_OUTPUTS" ]
}

# Moves the pointer over the overlays to physical pixel X,Y of the frozen
# picture (the X11 backend's outputs are side by side at the same scale,
# as in the picture), and waits until sway hands the overlay there the
# pointer: focus follows the pointer. An overlay that maps after the
# pointer came gets it at the next movement.
pick_pointer() {  # pick_pointer X Y
  local output
  output=$(output_name "$1")
  xdotool mousemove $(($1 + 1)) "$2" mousemove "$1" "$2"
  poll_until 5 overlay_has_pointer "$output" "$1" "$2"
}
overlay_has_pointer() {  # overlay_has_pointer OUTPUT X Y
  [[ " $(overlays) " == *" $1:F "* ]] && return 0
  xdotool mousemove $(($2 + 1)) "$3" mousemove "$2" "$3"
  return 1
}

# A grim picture of the layout square of SIZE units whose corner is the
# even layout point at or above-left of physical pixel X,Y less SIZE / 2
# (so that it starts on a whole physical pixel); prints the physical
# pixel of its corner.
shot_around() {  # shot_around FILE X Y SIZE [grim option]
  local lx ly
  lx=$(awk -v p="$2" -v s="$scale" -v h="$4" 'BEGIN {v = int((p / s - h / 2) / 2) * 2; print (v < 0) ? 0 : v}')
  ly=$(awk -v p="$3" -v s="$scale" -v h="$4" 'BEGIN {v = int((p / s - h / 2) / 2) * 2; print (v < 0) ? 0 : v}')
  # shellcheck disable=SC2086  # the grim option is a word or none
  wl_run grim ${5:-} -g "$lx,$ly ${4}x$4" "$wl_home/around.png" && mv "$wl_home/around.png" "$1"
  echo "$(phys "$lx") $(phys "$ly")"
}
# The pixel the overlay frames after a nudge, near physical pixel X,Y.
marked_pixel() {  # marked_pixel X Y
  local ox oy m
  read -r ox oy < <(shot_around "$wl_work/mark.png" "$1" "$2" 24)
  m=$(pixels mark "$wl_work/mark.png")
  [[ "$m" =~ ^[0-9]+,[0-9]+$ ]] || { echo "$m"; return; }
  echo "$((ox + ${m%,*})),$((oy + ${m#*,}))"
}
# Whether grim shows the pick's cursor (the reticle) at physical pixel X,Y.
reticle_at() {  # reticle_at X Y
  local ox oy
  read -r ox oy < <(shot_around "$wl_work/cursor.png" "$1" "$2" 48 -c)
  pixels reticle "$wl_work/cursor.png" $(($1 - ox)) $(($2 - oy))
}
frozen_at() {  # frozen_at X,Y: the colour of the frozen picture at a physical pixel
  [[ "$1" =~ ^[0-9]+,[0-9]+$ ]] || { echo "no pixel ($1)"; return; }
  pixels at "$frozen" "${1%,*}" "${1#*,}"
}

# ---- a pick ended by a click -------------------------------------------------------

# The quadrants' corner of the output the picks happen on (the last one).
pick_left=$(((WL_OUTPUTS - 1) * mw))
corner_x=$((pick_left + mw / 2)) corner_y=$((mh / 2))
# The first pick: a pixel up and left of the corner; with two outputs,
# right of the outputs' common edge, half its zoom view on the first.
if [ "$WL_OUTPUTS" -ge 2 ]; then
  ax=$((pick_left + 2)) ay=$((corner_y - 1))
else
  ax=$((corner_x - 1)) ay=$((corner_y - 1))
fi

swatch_before=$(client_pixel 100 32)
if start_pick click; then
  pick_pointer "$ax" "$ay"
  # What the overlays show: the screen as it was, but for the program's
  # window, which the overlay shows live (with a pixel around it, which the
  # compositor's shrinking of both at 1.5 blends). Taken before any picture
  # with the pointer in it: for a moment after one, grim's pictures without
  # it may hold it.
  wl_shot "$wl_work/shots/click-during.png"
  check "pixels of the overlays unlike the screen before the pick, outside the program's window" 0 \
    "$(pixels differ "$frozen" "$wl_work/shots/click-during.png" "$(($(phys "$px") - 1))" "$(($(phys "$py") - 1))" \
      "$(($(phys $((px + 607))) + 1))" "$(($(phys $((py + 401))) + 1))")"
  # The program's window, live over its frozen picture: its current-colour
  # box shows the pixel under the pointer during the pick.
  if [ "$WL_OUTPUTS" = 1 ]; then
    check_soon "the live window's current colour during the pick" "$(frozen_at "$ax,$ay")" 3 client_pixel 78 345
  fi
  check_soon "the pick's cursor (the reticle) over the overlay" yes 3 reticle_at "$ax" "$ay"
  xdotool click 1
  check_soon "the overlays after a click on one" "" 5 overlays
  expected=$(frozen_at "$ax,$ay")
  coords=$(coordinates_box)
  check "the coordinates picked at physical $ax,$ay" "$ax,$ay" "$coords"
  if [ "$WL_OUTPUTS" -ge 2 ]; then
    check "the second output's pick right of the first output's $mw columns" yes \
      "$([[ "$coords" =~ ^[0-9]+, ]] && ((${coords%%,*} >= mw)) && echo yes)"
  fi
  check "the copied hexadecimal of the pick at $ax,$ay" "$expected" "$(copied_hex)"
  check "the current colour, the first and the second swatch after the pick" \
    "$expected $expected $swatch_before" "$(shown_colours)"
  # The zoom view (its inside: layout 9,63 to 228,278) holds the 21 x 21
  # pixels around the pixel the program reports.
  [[ "$coords" =~ ^[0-9]+,[0-9]+$ ]] || coords="$ax,$ay"
  wl_shot "$wl_work/shots/click-zoom.png"
  read -r zl zt zr zb < <(echo "$(phys $((px + 9))) $(phys $((py + 63))) $(phys $((px + 228))) $(phys $((py + 278)))")
  zoom=$(pixels zoom "$wl_work/shots/click-zoom.png" "$zl" "$zt" "$zr" "$zb" "$frozen" "${coords%,*}" "${coords#*,}")
  check "zoom view cells matching the frozen picture around $coords" 441/441 "${zoom%%;*}"
  [[ "$zoom" == *";"* ]] && echo "note: zoom view ${zoom#*; }"
fi
first_colour=$(client_pixel 100 32)

# ---- nudges, ended by Esc --------------------------------------------------------------

nx=$((corner_x - 1)) ny=$((corner_y - 1))
# nudge_pick NAME KEY... : a pick at nx,ny moved by the keys, each move
# seen in the overlay's frame around the pixel, then ended by Esc (or, with
# END=click, by a click where the pointer stands); sets nudged (X,Y), the
# pixel framed last. The first frame is checked against the pointer's
# pixel, each further one against the one before, so that a nudge is
# checked apart from where the pick began.
nudge_pick() {
  local name=$1 x=$nx y=$ny key last="" mark
  shift
  start_pick "$name" || return 1
  pick_pointer "$nx" "$ny"
  for key in "$@"; do
    case $key in
      Right) x=$((x + 1)) ;; Left) x=$((x - 1)) ;; Down) y=$((y + 1)) ;; Up) y=$((y - 1)) ;;
    esac
    wl_key "$key"
    poll_until 3 mark_moved "$x" "$y" "$last"
    mark=$(marked_pixel "$x" "$y")
    if [ -z "$last" ]; then
      check "the overlay's frame after $key from the pointer at $nx,$ny" "$x,$y" "$mark"
    else
      check "the frame's move on $key" "$(step_of "$key")" "$(move_between "$last" "$mark")"
    fi
    last=$mark
  done
  nudged=$last
  if [ -n "${TINCTORA_E2E_WAYLAND_SHOT:-}" ] && [ "$name" == nudge-right-down ]; then
    # The program's window (live over the overlay) and the pick's cursor over the frame.
    local left=$((px - 24)) right bottom
    right=$(awk -v p="$x" -v s="$scale" 'BEGIN {printf "%d\n", p / s + 80}')
    bottom=$(awk -v p="$y" -v s="$scale" -v w=$((py + 401)) 'BEGIN {b = p / s; printf "%d\n", (b > w ? b : w) + 180}')
    wl_run grim -c -g "$left,0 $((right - left))x$bottom" "$wl_home/shot.png" &&
      mv "$wl_home/shot.png" "$TINCTORA_E2E_WAYLAND_SHOT" && echo "note: saved $TINCTORA_E2E_WAYLAND_SHOT"
  fi
  if [ "${END:-esc}" == click ]; then
    xdotool click 1
    check_soon "the overlays after a click on one" "" 5 overlays
  else
    wl_key Escape
    check_soon "the overlays after Esc" "" 5 overlays
  fi
}
mark_moved() {  # mark_moved X Y LAST: whether a frame shows near X,Y, elsewhere than LAST
  local m
  m=$(marked_pixel "$1" "$2")
  [[ "$m" =~ ^[0-9]+,[0-9]+$ ]] && [ "$m" != "$3" ]
}
step_of() {  # step_of KEY: the move a nudge makes, "DX,DY"
  case $1 in Right) echo 1,0 ;; Left) echo -1,0 ;; Down) echo 0,1 ;; Up) echo 0,-1 ;; esac
}
move_between() {  # move_between X,Y X,Y
  [[ "$1,$2" =~ ^-?[0-9]+,-?[0-9]+,-?[0-9]+,-?[0-9]+$ ]] || { echo "none"; return; }
  echo "$((${2%,*} - ${1%,*})),$((${2#*,} - ${1#*,}))"
}

# Right: across the boundary to the green quadrant.
if nudge_pick nudge-right Right; then
  expected=$(frozen_at "$nudged")
  # The compositor gives the keyboard to the output the pointer is on: the
  # program's window has it again when the pick ended on its own output.
  if [ "$WL_OUTPUTS" = 1 ]; then
    check "the program's window has the keyboard after Esc" 00FF00 "$(title_pixel tinctora)"
  fi
  check "the coordinates after Right and Esc" "$nudged" "$(coordinates_box)"
  check "the copied hexadecimal after Right and Esc" "$expected" "$(copied_hex)"
  # Esc keeps the colour last read and records it once, as a release does.
  check "the current colour, the first and the second swatch after Esc" \
    "$expected $expected $first_colour" "$(shown_colours)"
fi
# Down, then Right: the yellow quadrant, diagonally across the corner.
if nudge_pick nudge-right-down Down Right; then
  expected=$(frozen_at "$nudged")
  check "the coordinates after Down, Right and Esc" "$nudged" "$(coordinates_box)"
  check "the copied hexadecimal after Down, Right and Esc" "$expected" "$(copied_hex)"
fi
# A click after a nudge, the pointer not moved: the pick ends on the
# framed pixel, as a release after a nudge does on X11.
if END=click nudge_pick nudge-click Right; then
  check "the coordinates a click takes after Right, the pointer not moved" "$nudged" "$(coordinates_box)"
fi

# ---- the program's own pixels -------------------------------------------------------------

# A click on the program's window outside a pick takes the colour shown
# there; read back from the current-colour box.
channels_within() {  # channels_within A B TOLERANCE: whether RRGGBB A and B differ by at most TOLERANCE a channel
  local i a b
  for i in 0 2 4; do
    a=$((16#${1:i:2})) b=$((16#${2:i:2}))
    (((a - b) > $3 || (b - a) > $3)) && return 1
  done
  return 0
}
click_takes() {  # click_takes WHAT X Y: a click at layout point X,Y of the client area
  local seen before taken verdict=differs
  seen=$(client_pixel "$2" "$3")
  before=$(client_pixel 78 345)
  wl_pointer $((px + $2)) $((py + $3)) click 1
  poll_until 5 current_is_not "$before"
  taken=$(client_pixel 78 345)
  [[ "$seen" =~ ^[0-9A-F]{6}$ ]] && [[ "$taken" =~ ^[0-9A-F]{6}$ ]] &&
    channels_within "$seen" "$taken" "$tolerance" && verdict="within $tolerance"
  check "the colour a click on $1 takes, $taken, against grim's $seen" "within $tolerance" "$verdict"
}
current_is_not() { [ "$(client_pixel 78 345)" != "$1" ]; }
click_takes "the palette's red cell" 389 342
click_takes "the shade strip" 200 306
# The middle of a zoom view cell (column 2, row 3): a colour of the first
# pick's surroundings.
click_takes "the zoom view" 35 99

# ---- the end ---------------------------------------------------------------------------------

swaymsg_ '[app_id=tinctora] kill' >/dev/null
program_gone() { ! kill -0 "$program_pid" 2>/dev/null; }
if poll_until 10 program_gone; then
  check "the program after its window was closed" ended ended
  if [ -s "$wl_home/stats" ]; then
    check "the capture the pick used" screencopy "$(awk '$1 == "pick_capture" {print $2}' "$wl_home/stats")"
    echo "note: from the press to the frozen picture $(awk '$1 == "pick_capture_ms" {print $2}' "$wl_home/stats") ms," \
      "to the overlay's first painting $(awk '$1 == "pick_shown_ms" {print $2}' "$wl_home/stats") ms (the last pick)"
  else
    check "the statistics written at exit" written missing
  fi
else
  check "the program after its window was closed" ended running
  kill "$program_pid" 2>/dev/null
fi
checks_finish
