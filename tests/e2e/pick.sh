#!/usr/bin/env bash
# A drag from the picker pad over another program's window of known
# colours: while the button is held, the coordinates, the channel boxes,
# every notation, the current colour and the zoom view follow the pointer;
# the arrow keys nudge it; the release records the colour, and the copy
# menus of the current colour and of the swatch put its notations on the
# clipboard. The boxes are read during the drag through their own keys
# (Tab to the next box, Ctrl+A, Ctrl+C), the pixels from screenshots.
#
# At a scale (TINCTORA_E2E_SCALE, see lib.sh) the window is that much
# larger, and what the program reads and moves stays physical pixels: the
# coordinates, a nudge of one pixel, the zoom view's 21 x 21 pixels.
#
# usage: pick.sh PATH/TO/tinctora
program=${1:?usage: pick.sh PATH/TO/tinctora}
. "$(dirname "$0")/lib.sh"
test_name=pick$([ "$scale_pct" != 100 ] && echo "-$scale_pct-$scale_with")

e2e_start_x
# A picture of two colours whose channels all differ, so a swapped order
# shows: blue 3366CC in columns 0-59, red CC3311 in columns 60-119.
convert -size 60x120 xc:'#3366CC' -size 60x120 xc:'#CC3311' +append "$work/target.png"
e2e_show_picture "$work/target.png" pick-target 40 40
wait_picture_painted "$work/target.png"
target=$shown_window
eval "$(xwininfo -id "$target" | awk '/Absolute upper-left X/ {print "tx=" $4} /Absolute upper-left Y/ {print "ty=" $4}')"
e2e_start_program
read -r width height < <(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
check "the client size at $scale_pct %" "$(edge 607)x$(edge 401)" "${width}x${height}"
client_origin

# The tab stops from the coordinates box on, as the boxes are read during
# the drag; "" for the chooser and the sliders, which hold no text.
stops=17
textless=" 1 12 13 14 "
read_stops() {
  local texts=()
  for ((s = 0; s < stops; s++)); do
    if [[ "$textless" == *" $s "* ]]; then
      clear_clipboard
      xdotool key ctrl+a ctrl+c
      # A control without text copies nothing: there is no change to wait for.
      sleep 0.3
      texts+=("$(xclip -o -selection clipboard 2>/dev/null)")
    else
      texts+=("$(focused_box)")
    fi
    xdotool key Tab
  done
  local IFS='|'
  echo "${texts[*]}"
}
# The notations of a colour in tab order: the coordinates, chooser, G, B, R,
# CMYK, HSV, RGB, hex, decimal, Delphi, VB, three sliders, C/C++, HTML.
expect_stops() {  # expect_stops COORDS R G B HEX DECIMAL HSV CMYK
  local bgr="${5:4:2}${5:2:2}${5:0:2}"
  echo "$1||$3|$4|$2|$8|$7|$2,$3,$4|$5|$6|\$$bgr|&H$bgr&||||0x$bgr|#$5"
}
# The zoom view stretches the 21 x 21 screen pixels around the pointer
# over its drawing, 221 x 217 units from the view's client corner (layout
# point 9,63), whose edges fall where the layout's do.
zoom_left=$(edge 9) zoom_top=$(edge 63)
zoom_width=$(($(edge 230) - zoom_left)) zoom_height=$(($(edge 280) - zoom_top))
zoom_pixel() {  # zoom_pixel C R: the middle of the zoom view's cell for screen pixel C, R (0 to 20)
  screen_pixel "$((client_x + zoom_left + (2 * $1 + 1) * zoom_width / 42))" \
    "$((client_y + zoom_top + (2 * $2 + 1) * zoom_height / 42))"
}

zoom_pixels() {  # zoom_pixels C R ...: several cells
  local out=()
  while [ $# -gt 0 ]; do out+=("$(zoom_pixel "$1" "$2")"); shift 2; done
  echo "${out[*]}"
}

# The coordinates box has the focus; the pad takes none.
pointer_to 340 74 click 1
start_pick
# Out over the desktop, then onto the blue part of the target. The boxes
# are read once the coordinates box shows where the pointer is.
xdotool mousemove 700 60
xdotool mousemove "$((tx + 30))" "$((ty + 60))"
check_soon "the coordinates over blue" "$((tx + 30)),$((ty + 60))" 5 focused_box
check "the boxes during the drag over blue" \
  "$(expect_stops "$((tx + 30)),$((ty + 60))" 51 102 204 3366CC 13395507 0.6111,0.7500,0.8000 0.7500,0.5000,0.0000,0.2000)" \
  "$(read_stops)"
check_soon "the current colour during the drag" "3366CC" 5 current_colour
check_soon "the zoom view during the drag over blue" "3366CC 3366CC" 5 zoom_pixels 4 4 17 18
e2e_screenshot drag-blue >/dev/null

# Three pixels left of the edge: the zoom view shows the edge, the boxes
# still blue. The pointer's pixel is cell 10; each cell is one screen
# pixel at any scale.
xdotool mousemove "$((tx + 57))" "$((ty + 60))"
check_soon "the coordinates at the edge" "$((tx + 57)),$((ty + 60))" 5 focused_box
check_soon "the zoom view at the edge (d = -1, 2, 3, 4)" "3366CC 3366CC CC3311 CC3311" 5 \
  zoom_pixels 9 4 12 4 13 4 14 4
check_soon "the current colour at the edge" "3366CC" 5 current_colour
e2e_screenshot drag-edge >/dev/null

# Onto the red part.
xdotool mousemove "$((tx + 90))" "$((ty + 30))"
check_soon "the coordinates over red" "$((tx + 90)),$((ty + 30))" 5 focused_box
check "the boxes during the drag over red" \
  "$(expect_stops "$((tx + 90)),$((ty + 30))" 204 51 17 CC3311 1127372 0.0303,0.9167,0.8000 0.0000,0.7500,0.9167,0.2000)" \
  "$(read_stops)"
check_soon "the zoom view over red" "CC3311" 5 zoom_pixel 4 4

# The arrow keys move the pointer by one pixel; the movement samples again.
pointer() {
  eval "$(xdotool getmouselocation --shell)"
  echo "$X,$Y"
}
xdotool key Right Right Down
check_soon "the pointer after Right, Right, Down" "$((tx + 92)),$((ty + 31))" 5 pointer
check_soon "the coordinates after the nudge" "$((tx + 92)),$((ty + 31))" 5 focused_box
end_pick

check_soon "the first swatch after the release" "CC3311" 5 client_pixel 100 32
e2e_screenshot released >/dev/null
names=(decimal hexadecimal RGB HTML C VB Delphi HSV CMYK)
expected=(1127372 CC3311 204,51,17 '#CC3311' 0x1133CC '&H1133CC&' '$1133CC' 0.0303,0.9167,0.8000 0.0000,0.7500,0.9167,0.2000)
for i in "${!names[@]}"; do
  check "the copied ${names[i]} notation" "${expected[i]}" "$(copy_notation $((i + 1)))"
done
check "the hexadecimal notation copied from the first swatch" "CC3311" "$(copy_notation 2 100 32)"

e2e_finish
