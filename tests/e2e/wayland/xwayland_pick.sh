#!/usr/bin/env bash
# A pick in a Wayland session: the program (an XWayland client while it
# forces the xcb platform) is started on sway, the left button pressed on
# its picker pad and the pointer dragged over the background, whose colours
# grim reads. What the program read is taken from its boxes during the drag
# (the coordinates box's own Ctrl+A Ctrl+C) and from its copy menu after the
# release, both through the clipboard that sway hands on to wl-paste.
#
# Exit 0 when the program read the colour grim sees there, 1 when it did
# not, 77 when the machine cannot run the session. For contrast the same
# drag ends once over the program's own palette, an X window's pixels.
#
# usage: xwayland_pick.sh PATH/TO/tinctora
program=$(realpath "${1:?usage: xwayland_pick.sh PATH/TO/tinctora}")
. "$(dirname "$0")/session.sh"
. "$(dirname "$0")/checks.sh"

wl_install
wl_start || exit 1
chmod 755 "$(dirname "$program")" 2>/dev/null
wl_run_bg "$wl_work/tinctora.log" DISPLAY="$wl_x_display" "$program"
program_pid=$wl_last_pid
check_soon "the program's window in sway's tree" yes 20 has_view tinctora
read -r px py pw ph < <(view_field tinctora window_rect)
check_soon "grim sees the program's palette red cell" FF0000 10 wl_pixel $((px + 389)) $((py + 342))
# The pointer over the window gives it the keyboard focus.
wl_pointer $((px + pw / 2)) $((py + ph / 2))
check_soon "the program's title bar focused" 00FF00 10 title_pixel tinctora

# The text of the focused box, through its own Ctrl+A Ctrl+C.
focused_box() {
  wl_copy ""
  wl_key ctrl+a ctrl+c
  wl_poll 5 test -n "$(wl_paste)"
  wl_paste
}
# Notation ITEM of the copy menu of the current-colour box.
copy_notation() {  # copy_notation ITEM
  local keys=() k
  wl_copy ""
  wl_pointer $((px + 78)) $((py + 345)) click 3
  sleep 0.5  # the menu opens as an XWayland popup: sway's tree does not list it
  for ((k = 0; k < $1; k++)); do keys+=(Down); done
  wl_key "${keys[@]}" Return
  wl_poll 5 test -n "$(wl_paste)"
  wl_paste
}

# One drag from the pad to layout point X,Y; prints what the coordinates
# box showed there, what grim sees there and the copied hexadecimal.
pick_at() {  # pick_at X Y
  wl_pointer $((px + 340)) $((py + 74)) click 1
  wl_pointer $((px + 30)) $((py + 29)) mousedown 1
  sleep 0.5
  wl_pointer $((px + 31)) $((py + 29))
  wl_pointer "$1" "$2"
  sleep 0.5
  wl_pointer "$(($1 + 1))" "$2"
  wl_pointer "$1" "$2"
  sleep 0.5
  local coords shown
  coords=$(focused_box)
  shown=$(wl_pixel "$1" "$2")
  wl_keep_shot "drag-$1-$2"
  xdotool mouseup 1
  sleep 0.5
  echo "$coords|$shown|$(copy_notation 2)|$(wl_pixel $((px + 78)) $((py + 345)))"
}

# The red quadrant of the background, left of the window.
bx=$((px / 2)) by=$((py / 2))
IFS='|' read -r coords shown copied box < <(pick_at "$bx" "$by")
echo "note: over the background at $bx,$by: coordinates box '$coords', grim '$shown'," \
  "copied hexadecimal '$copied', current-colour box '$box'"
IFS='|' read -r pcoords pshown pcopied pbox < <(pick_at $((px + 389)) $((py + 342)))
echo "note: over the program's palette at $((px + 389)),$((py + 342)): coordinates box '$pcoords'," \
  "grim '$pshown', copied hexadecimal '$pcopied', current-colour box '$pbox'"

check "the coordinates read over the background" "$bx,$by" "$coords"
check "the colour picked over the background" "$shown" "$copied"
kill "$program_pid" 2>/dev/null
checks_finish
