# shellcheck shell=bash disable=SC2154  # the wl_ variables come from session.sh
# Checks for the scripts that use session.sh: results, waiting, and what
# sway's tree says of the windows. Sourced after session.sh.

source "$(dirname "${BASH_SOURCE[0]}")/../checks.sh"
on_check_failed() { wl_keep_shot "$1"; }

# A screenshot kept under TINCTORA_E2E_ARTIFACTS when the script fails.
wl_keep_shot() {  # wl_keep_shot NAME
  mkdir -p "$wl_work/shots"
  wl_shot "$wl_work/shots/$1.png" 2>/dev/null
}

# A field of the first view whose name or class contains NAME, from
# sway's tree: shell (xwayland or xdg_shell), rect or window_rect (layout
# units, X Y W H; the window's content, without its decorations),
# title_rect (the title bar), or pid.
view_field() {  # view_field NAME FIELD
  swaymsg_ -t get_tree -r 2>/dev/null | python3 -c '
import json, sys
name, field = sys.argv[1].lower(), sys.argv[2]
def views(n):
    if n.get("type") in ("con", "floating_con") and n.get("pid"):
        yield n
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        yield from views(c)
for v in views(json.load(sys.stdin)):
    props = v.get("window_properties") or {}
    names = [v.get("name") or "", v.get("app_id") or "", props.get("class") or "", props.get("title") or ""]
    if not any(name in s.lower() for s in names):
        continue
    r = v["rect"]
    if field == "window_rect":
        w = v["window_rect"]
        print(r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"])
    elif field == "title_rect":
        d = v["deco_rect"]
        print(r["x"], r["y"], r["width"], d["height"])
    elif field == "rect":
        print(r["x"], r["y"], r["width"], r["height"])
    else:
        print(v.get(field, ""))
    break
' "$1" "$2"
}

has_view() {  # has_view NAME: prints yes when sway shows such a window
  [ -n "$(view_field "$1" pid)" ] && echo yes
}

# The colour of a view's title bar near its right end (the title's text
# stands at the left), a few units above its content.
title_pixel() {  # title_pixel NAME
  local x y w
  read -r x y w _ < <(view_field "$1" window_rect)
  [ -n "$x" ] && wl_pixel $((x + w - 6)) $((y - 6))
}

# The pointer's position as XWayland reports it to its clients, when it is
# within a unit of X,Y ("near"), else the position.
xwayland_pointer_near() {  # xwayland_pointer_near X Y
  local X="" Y=""
  eval "$(wl_run xdotool getmouselocation --shell 2>/dev/null | grep -E '^[XY]=')"
  if [ -n "$X" ] && ((X - $1 <= 1 && $1 - X <= 1 && Y - $2 <= 1 && $2 - Y <= 1)); then
    echo near
  else
    echo "$X,$Y"
  fi
}

paste_is_hex() {
  [[ "$(wl_paste)" =~ ^[0-9A-F]{6}$ ]] && echo yes
}

checks_finish() {
  if [ "$failures" -ne 0 ]; then
    echo "--- sway"; tail -20 "$wl_work/sway.log"
    [ -f "$wl_work/tinctora.log" ] && { echo "--- program"; cat "$wl_work/tinctora.log"; }
    if [ -d "$wl_work/shots" ]; then
      local kept
      # One folder a script, or a run of it (wl_test_name, set by a script
      # run in several configurations).
      kept="${TINCTORA_E2E_ARTIFACTS:-${TMPDIR:-/tmp}/tinctora-e2e-artifacts}/wayland-${wl_test_name:-$(basename "$0" .sh)}"
      rm -rf "$kept" && mkdir -p "$kept" && cp "$wl_work/shots/"*.png "$kept/"
      echo "screenshots kept in $kept"
    fi
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# ---- what the program shows; px and py are its client area's corner in
# layout units, set by the script once its window is up.

client_pixel() {  # client_pixel X Y: the colour grim sees at a layout point of the client area
  wl_pixel $((px + $1)) $((py + $2))
}
clipboard_filled() { [ -n "$(wl_paste)" ]; }
pixel_changed() {  # pixel_changed X Y COLOUR
  [ "$(wl_pixel "$1" "$2")" != "$3" ]
}
# The hexadecimal of the current colour, through its copy menu (right
# click on the current-colour box, the second item).
copied_hex() {
  local before
  wl_copy ""
  before=$(client_pixel 103 357)
  wl_pointer $((px + 78)) $((py + 345)) click 3
  # The menu opens down and right of the pointer, over the box.
  poll_until 5 pixel_changed $((px + 103)) $((py + 357)) "$before"
  wl_key Down Down Return
  poll_until 5 clipboard_filled
  wl_paste
}
# The current colour and the first two swatches of the history, as shown.
shown_colours() {
  echo "$(client_pixel 78 345) $(client_pixel 100 32) $(client_pixel 149 32)"
}
