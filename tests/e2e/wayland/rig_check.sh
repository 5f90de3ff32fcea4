#!/usr/bin/env bash
# Shows that the Wayland session of session.sh works: sway comes up on Xvfb,
# grim sees the background's known colours, a key typed into Xvfb reaches
# the compositor (a key binding repaints the background), the program
# starts as an XWayland client and grim sees its window, the pointer moved
# on Xvfb reaches the compositor (focus follows it: the focused title bar's
# colour moves, in a screenshot) and the X client (XWayland reports the
# position), and the clipboard carries text both through wl-copy/wl-paste
# and from the program's copy menu to wl-paste.
#
# usage: rig_check.sh PATH/TO/tinctora
# WL_SCALE and WL_OUTPUTS as session.sh reads them. Exit 0 when all hold,
# 77 when the machine cannot run the session, 1 on a failure.
program=$(realpath "${1:?usage: rig_check.sh PATH/TO/tinctora}")
. "$(dirname "$0")/session.sh"
. "$(dirname "$0")/checks.sh"

wl_install
wl_start || exit 1
echo "note: the session came up in ${wl_start_ms} ms (scale $WL_SCALE, $WL_OUTPUTS output(s))"
chmod 755 "$(dirname "$program")" 2>/dev/null

# The background: the four quadrants of wl_bg_default on each output.
read -r ow oh < <(wl_output_rect 1 | awk -F'[ ,x]' '{print $3, $4}')
check "grim at the first output's top left" CC3311 "$(wl_pixel 10 10)"
check "grim at the first output's bottom right" EEDD22 "$(wl_pixel $((ow - 10)) $((oh - 10)))"
shot_size=$(wl_shot "$wl_work/all.png" && identify -format '%wx%h' "$wl_work/all.png")
echo "note: grim's whole capture is $shot_size pixels"
if [ "$WL_OUTPUTS" -ge 2 ]; then
  read -r x2 < <(wl_output_rect 2 | cut -d, -f1)
  check "grim at the second output's top left" CC3311 "$(wl_pixel $((x2 + 10)) 10)"
  check "grim at the second output's bottom right" EEDD22 "$(wl_pixel $((x2 + ow - 10)) $((oh - 10)))"
fi

# The clipboard, Wayland to Wayland.
wl_copy "rig-check $$"
check "wl-paste after wl-copy" "rig-check $$" "$(wl_paste)"

# A key typed into Xvfb reaches the compositor: F9 repaints the background.
wl_key F9
check_soon "the background after F9" 123456 5 wl_pixel 3 $((oh - 3))

# Two X clients tiled side by side: the program and a picture.
convert -size 64x64 xc:'#808080' "$wl_home/grey.png" && chown "$WL_USER" "$wl_home/grey.png"
# The program as an X11 client (it would be a Wayland one unless told).
wl_run_bg "$wl_work/tinctora.log" DISPLAY="$wl_x_display" TINCTORA_PLATFORM=x11 "$program"
program_pid=$wl_last_pid
check_soon "the program's window in sway's tree" yes 20 has_view tinctora
wl_run_bg "$wl_work/display.log" DISPLAY="$wl_x_display" display -title grey-picture "$wl_home/grey.png"
check_soon "the picture's window in sway's tree" yes 20 has_view grey-picture
check "the program runs as an XWayland client" xwayland "$(view_field tinctora shell)"
# The newest window has the focus; the program's title bar shows the
# unfocused colour. (The program's fixed size makes sway float it over the
# tiled picture.)
check_soon "the program's title bar unfocused" FF00FF 10 title_pixel tinctora
read -r px py pw ph < <(view_field tinctora window_rect)
check_soon "grim sees the program's palette red cell" FF0000 10 wl_pixel $((px + 389)) $((py + 342))

# The pointer onto the program's window: focus follows it.
wl_pointer $((px + pw / 2)) $((py + ph / 2))
check_soon "the program's title bar after the pointer moved onto it" 00FF00 10 title_pixel tinctora
check_soon "the picture's title bar after the pointer left it" FF00FF 10 title_pixel grey-picture
# XWayland's pointer position: in its root coordinates, the layout's (sway
# passes the X11 backend's position on as a fraction of the output: a
# unit may be lost to rounding).
wl_pointer $((px + 40)) $((py + 50))
check_soon "XWayland's pointer position near $((px + 40)),$((py + 50))" near 5 \
  xwayland_pointer_near $((px + 40)) $((py + 50))


# The program's copy menu (right click on the current-colour box, the
# second item: hexadecimal) puts text on the X clipboard; sway hands it on
# to Wayland clients.
wl_copy ""
wl_pointer $((px + 78)) $((py + 345)) click 3
sleep 0.5
wl_key Down Down Return
check_soon "the program's copied hexadecimal, through wl-paste" yes 5 paste_is_hex
echo "note: the copied text was '$(wl_paste)'"

kill "$program_pid" 2>/dev/null
checks_finish
