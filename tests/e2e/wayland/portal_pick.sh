#!/usr/bin/env bash
# shellcheck disable=SC2154,SC1091  # the wl_ variables and failures come from the sourced files
# shellcheck disable=SC2016  # the actions given in single quotes are run later, through eval
# Picks of the program, a Wayland client on sway (session.sh), whose screen
# comes from the desktop portal (portal_session.sh), as
# TINCTORA_WAYLAND_CAPTURE forces it. The background's quadrants: CC3311
# top left, 22AA44 top right (where the program's window stands), 3366CC
# bottom left, EEDD22 bottom right, on every output.
#
#   portal_pick.sh PROGRAM portal
#     The real portal's screenshot. A press on the picker pad released at
#     once, or 50 ms later, while the picture is still on its way (it takes
#     a tenth of a second or more), starts a pick as a press held does: an overlay on every output in
#     sway's tree. The pointer moved over one quadrant, then onto the last
#     output, a unit left of its quadrants' boundary, and a click there end
#     the pick with that colour (the copy menu's hexadecimal, the
#     current-colour box and the first history swatch, as grim sees them);
#     the overlays leave the tree. Esc ends a pick with the colour last read
#     and gives the window the keyboard again.
#   portal_pick.sh PROGRAM pickcolor
#     The real portal's colour picker (slurp): a click on a quadrant gives
#     its colour, with no overlay, and the window's title says where the
#     colours come from; the picker cancelled with Escape leaves the colour
#     and the history as they were, and the next pick works.
#   portal_pick.sh PROGRAM stand_in STAND_IN
#     The stand-in portal for what the real one cannot be made to do: a
#     refused screenshot, and a refused colour, end the pick and leave the
#     colour and the history as they were, the program responsive. Then a
#     screenshot that takes 1.5 s (grim's) with clicks while it is awaited:
#     a double click on the pad, a click on the background, a click on the
#     palette, a press released over the background; once answered, the
#     overlay and the pad agree on whether the pick is still on, a click
#     ends a pick still on and the palette takes clicks.
#
# The program writes how its last pick took the screen and how long that
# took (TINCTORA_STATS) when its window closes: the way is checked, the
# times printed. Exit 0 when all checks hold, 1 on a failure, 77 when the
# machine cannot run the session or the portal.
usage="usage: portal_pick.sh PROGRAM portal|pickcolor|stand_in [STAND_IN]"
program=$(realpath "${1:?$usage}")
way=${2:?$usage}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/session.sh"
. "$here/checks.sh"
. "$here/portal_session.sh"

case $way in
  portal | pickcolor) ;;
  stand_in) stand_in=$(realpath "${3:?$usage}") ;;
  *) echo "$usage"; exit 2 ;;
esac
wl_install
[ "$way" == stand_in ] || portal_install
wl_start || exit 1
chmod 755 "$(dirname "$program")" 2>/dev/null
if [ "$way" == stand_in ]; then
  portal_start_stand_in "$stand_in" --refuse || exit 1
else
  portal_start || exit 1
  echo "note: the session came up in $wl_start_ms ms, the portal in $portal_start_ms ms"
fi

# The first output's size in layout units, its quadrants' corner (hx,hy)
# and a point well inside each quadrant.
read -r lw lh < <(wl_output_rect 1 | awk -F'[ ,x]' '{print $3, $4}')
hx=$((lw / 2)) hy=$((lh / 2))
# shellcheck disable=SC2034  # yellow is used in an action run through eval
red=($((lw / 5)) $((lh / 4))) blue=($((lw / 5)) $((lh * 3 / 4))) yellow=($((lw * 4 / 5)) $((lh * 3 / 4)))

# ---- the program's window -----------------------------------------------------

start_program() {  # start_program CAPTURE
  rm -f "$wl_home/stats" "$wl_work/tinctora.log"
  portal_run_bg "$wl_work/tinctora.log" TINCTORA_WAYLAND_CAPTURE="$1" TINCTORA_STATS="$wl_home/stats" "$program"
  program_pid=$wl_last_pid
  check_soon "the program's window in sway's tree" yes 20 has_view tinctora
  # Top right, in the green quadrant, clear of the others.
  local ww
  read -r _ _ ww _ < <(view_field tinctora rect)
  swaymsg_ "[app_id=tinctora] move absolute position $((lw - ww - 8)) 8" >/dev/null
  read -r px py _ _ < <(view_field tinctora window_rect)
  check_soon "grim sees the palette's red cell" FF0000 10 client_pixel 389 342
  # The pointer over the window gives it the keyboard.
  wl_pointer $((px + 300)) $((py + 385))
  check_soon "the program's title bar focused" 00FF00 10 title_pixel tinctora
}

# Closes the window; checks how the last pick took the screen (CAPTURE)
# and prints how long it took, as the program wrote it at its end.
end_program() {  # end_program CAPTURE
  swaymsg_ '[app_id=tinctora] kill' >/dev/null
  if poll_until 10 program_gone; then
    check "how the program's last pick took the screen" "$1" \
      "$(awk '$1 == "pick_capture" {print $2}' "$wl_home/stats" 2>/dev/null)"
    echo "note: the last pick ($1): $(stat_ms pick_capture_ms) from the press to the picture," \
      "$(stat_ms pick_shown_ms) to the overlay's first painting"
  else
    check "the program after its window was closed" ended running
    kill "$program_pid" 2>/dev/null
  fi
}
stat_ms() {  # stat_ms NAME: a time the program wrote, or "none" (-1: it did not come)
  awk -v n="$1" '$1 == n {print ($2 < 0) ? "none" : $2 " ms"}' "$wl_home/stats"
}
program_gone() { ! kill -0 "$program_pid" 2>/dev/null; }

overlay_up() { has_view "tinctora pick"; }
overlay_count() { views | grep -c '^Tinctora pick|'; }
# The program's views in sway's tree, one a line: name|x y w h|focused.
views() {
  swaymsg_ -t get_tree -r | python3 -c 'import json, sys
def views(n):
    if n.get("pid"):
        yield n
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        yield from views(c)
for v in views(json.load(sys.stdin)):
    r = v["rect"]
    print("%s|%d %d %d %d|%s" % (v.get("name"), r["x"], r["y"], r["width"], r["height"],
                                 "focused" if v.get("focused") else ""))'
}
# Whether the picker pad shows its reticle (outside a pick) or is empty
# (during one): dark pixels in its middle, black or dimmed by slurp.
pad_reticle() {
  wl_shot "$wl_work/pad.png" "$((px + 20)),$((py + 19)) 21x21" &&
    convert "$wl_work/pad.png" -format '%[fx:minima < 0.5 ? 1 : 0]' info: | sed 's/1/yes/; s/0/no/'
}
# Moves the pointer over the overlays to layout point X,Y, or with
# "pixel" to the X server's pixel X,Y (the outputs side by side), and waits
# until sway gives the overlay there the focus (it follows the pointer); an
# overlay mapped after the pointer came gets it at the next movement. The
# movement ends there from a pixel off, so that it is one.
overlay_pointer() {  # overlay_pointer X Y [pixel]
  local x=$1 y=$2
  [ "${3:-}" == pixel ] || read -r x y < <(wl_to_x11 "$1" "$2")
  xdotool mousemove $((x + 1)) "$y" mousemove "$x" "$y"
  poll_until 5 overlay_focused "$x" "$y"
}
overlay_focused() {  # overlay_focused X Y: an X server pixel
  views | awk -F'|' -v x="$1" -v y="$2" -v s="$WL_SCALE" '$1 == "Tinctora pick" && $3 == "focused" {
    split($2, r, " "); if (r[1] * s <= x && x < (r[1] + r[3]) * s && r[2] * s <= y && y < (r[2] + r[4]) * s) found = 1 }
    END { exit !found }' && return 0
  xdotool mousemove $(($1 + 1)) "$2" mousemove "$1" "$2"
  return 1
}
press_pad() { wl_pointer $((px + 30)) $((py + 29)) "$@"; }

# ---- the portal's screenshot ------------------------------------------------------

portal_picks() {
  start_program portal
  # The press's release while the portal's picture is still on its way
  # belongs to the press, as it does when the picture comes first: a click
  # on the pad starts a pick.
  local pause
  for pause in 0 0.05; do
    press_pad mousedown 1
    sleep "$pause"
    xdotool mouseup 1
    check_soon "the overlay after a press on the pad released after $pause s" yes 5 overlay_up
    if [ "$(overlay_up)" == yes ]; then
      overlay_pointer "${red[@]}"
      xdotool click 1
      check_soon "the overlay after a click on it" "" 5 overlay_up
    fi
  done
  # The first pick ends on the last output, on the last pixel column left
  # of its quadrants' vertical boundary (at a scale of 2, half a unit).
  local s1 mw=${WL_MODE%x*} mh=${WL_MODE#*x}
  read -r _ s1 _ < <(shown_colours)
  # A press held on the pad until the overlay is up, then released.
  press_pad mousedown 1
  check_soon "the overlays in sway's tree after a press on the picker pad" "$WL_OUTPUTS" 10 overlay_count
  xdotool mouseup 1
  overlay_pointer "${red[@]}"
  overlay_pointer $((WL_OUTPUTS * mw - mw / 2 - 1)) $((mh * 3 / 4)) pixel  # blue, its last column
  xdotool click 1
  check_soon "the overlays after a click on one" 0 5 overlay_count
  check "the copied hexadecimal of a pick over red, then ended on the last output's blue, its last column" 3366CC \
    "$(copied_hex)"
  check "the current colour, the first and the second swatch after it" "3366CC 3366CC $s1" "$(shown_colours)"

  # Esc ends the pick with the colour last read.
  press_pad mousedown 1
  check_soon "the overlays in sway's tree after a press on the picker pad" "$WL_OUTPUTS" 10 overlay_count
  xdotool mouseup 1
  overlay_pointer $hx $hy  # yellow, its corner
  wl_key Escape
  check_soon "the overlays after Esc" 0 5 overlay_count
  check_soon "the program's title bar focused after Esc" 00FF00 5 title_pixel tinctora
  check "the copied hexadecimal of a pick ended with Esc on yellow's corner" EEDD22 "$(copied_hex)"
  check "the current colour and the first two swatches after Esc" "EEDD22 EEDD22 3366CC" "$(shown_colours)"

  end_program portal
}

# ---- the portal's colour picker ---------------------------------------------------

# A click on the pad, answered in slurp with ACTION (a command) once slurp
# dims the blue quadrant; waits until the pick is over.
pickcolor_with() {  # pickcolor_with WHAT ACTION
  press_pad click 1
  if poll_until 20 picker_veils "${blue[@]}" 3366CC; then
    # The click's release belongs to the press that started the pick.
    check "$1: the pick on while slurp is up (the pad emptied)" no "$(pad_reticle)"
    check "$1: an overlay while slurp is up" "" "$(overlay_up)"
    eval "$2"
    poll_until 10 test "$(pad_reticle)" == yes
  else
    check "$1: slurp up after a click on the picker pad" yes no
  fi
}

pickcolor_picks() {
  start_program pickcolor
  local name s1
  read -r _ s1 _ < <(shown_colours)
  pickcolor_with "a click on blue" 'wl_pointer "${blue[@]}" click 1'
  check "the copied hexadecimal of a click on blue in slurp" 3366CC "$(copied_hex)"
  check "the current colour, the first and the second swatch after it" "3366CC 3366CC $s1" "$(shown_colours)"
  name=$(view_field tinctora name)
  check "the window's title says where the colours come from" yes \
    "$([[ "$name" == *" — colours from the desktop's own picker: it lets no program read the screen" ]] && echo yes)"
  echo "note: the window's title: $name"
  # The picker cancelled: no colour, nothing added to the history.
  pickcolor_with "slurp's Escape" 'wl_key Escape'
  check "the current colour and the first two swatches after slurp's Escape" "3366CC 3366CC $s1" "$(shown_colours)"
  check "the copied hexadecimal after slurp's Escape" 3366CC "$(copied_hex)"
  pickcolor_with "a click on yellow after that" 'wl_pointer "${yellow[@]}" click 1'
  check "the copied hexadecimal of a click on yellow in slurp after that" EEDD22 "$(copied_hex)"
  end_program pickcolor
}

# ---- the stand-in portal ----------------------------------------------------------

# A click at layout point X,Y of the client area outside a pick takes the
# colour grim sees there into the current-colour box.
click_takes() {  # click_takes WHAT X Y
  local seen
  seen=$(client_pixel "$2" "$3")
  wl_pointer $((px + $2)) $((py + $3)) click 1
  check_soon "the colour a click on $1 takes" "$seen" 5 client_pixel 78 345
}

# A pick the portal refuses: started by a press held until the program
# says why it has no picture (the held button cannot end the pick first).
refused_pick() {  # refused_pick CAPTURE WHY
  start_program "$1"
  click_takes "the palette's red cell" 389 342
  local before
  before=$(shown_colours)
  press_pad mousedown 1
  check_soon "what the program says of the refusal" yes 10 logged "$2" "$wl_work/tinctora.log"
  xdotool mouseup 1
  check_soon "the picker pad's reticle back after the refusal" yes 5 pad_reticle
  check "no overlay after the refusal" "" "$(overlay_up)"
  check "the current colour and the first two swatches after the refusal ($1)" "$before" "$(shown_colours)"
  click_takes "the palette's blue cell after the refusal" 507 342
  end_program "$1"
}
logged() {  # logged TEXT FILE
  grep -q "$1" "$2" && echo yes
}

# ACTION (a command) starts a pick on the slow stand-in and clicks about.
# Once the stand-in has answered every call the program made, either the
# pick is still on (the overlay up, the pad empty) or it is over (no
# overlay, the pad's reticle). A pick still on ends with a click on the
# overlay; then the program takes clicks on its palette.
slow_pick() {  # slow_pick WHAT ACTION
  local before state
  before=$(stand_in_calls)
  eval "$2"
  poll_until 10 answered "$before"
  # The last answer reaches the program within this time; what must not
  # happen has no event to wait for.
  sleep 0.5
  state="$(overlay_up)/$(pad_reticle)"
  case $state in
    yes/no) echo "note: $1: the pick still on after $(($(stand_in_calls) - before)) call(s) to the portal" ;;
    /yes) echo "note: $1: the pick over after $(($(stand_in_calls) - before)) call(s) to the portal" ;;
    *)
      check "$1: the overlay and the pad's reticle agree (overlay up/pad's reticle shown)" "yes/no or /yes" "$state"
      echo "--- the program's views in sway's tree"; views
      ;;
  esac
  if [ "$(overlay_up)" == yes ]; then
    overlay_pointer "${red[@]}"
    xdotool click 1
    check_soon "$1: the overlay after a click on it" "" 5 overlay_up
  fi
  check_soon "$1: the picker pad's reticle" yes 5 pad_reticle
  click_takes "the palette's red cell after $1" 389 342
  click_takes "the palette's blue cell after $1" 507 342
}
stand_in_calls() { grep -c '^Screenshot' "$wl_work/stand-in.log"; }
# Whether the program called after BEFORE calls and the stand-in has
# answered each call (its pictures are written just before its answers).
answered() {  # answered BEFORE
  local calls
  calls=$(stand_in_calls)
  ((calls > $1)) && (($(find "$wl_home" -maxdepth 1 -name 'stand-in-*.png' | wc -l) >= calls))
}

stand_in_picks() {
  refused_pick portal "the desktop portal gave no picture: the user cancelled the screenshot"
  refused_pick pickcolor "the desktop's colour picker gave no colour: the user cancelled the colour pick"

  # A picture that takes 1.5 s to come.
  portal_start_stand_in "$stand_in" --grim --delay 1500 || exit 1
  start_program portal
  slow_pick "a double click on the pad" 'press_pad click --repeat 2 --delay 100 1'
  slow_pick "a click on the background before the picture" 'press_pad click 1; wl_pointer "${red[@]}" click 1'
  slow_pick "a click on the palette before the picture" \
    'press_pad click 1; wl_pointer $((px + 389)) $((py + 342)) click 1'
  slow_pick "a press on the pad released over the background before the picture" \
    'press_pad mousedown 1; wl_pointer "${red[@]}" mouseup 1'
  end_program portal
}

case $way in
  portal) portal_picks ;;
  pickcolor) pickcolor_picks ;;
  stand_in) stand_in_picks ;;
esac
checks_finish
