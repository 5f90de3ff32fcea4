# shellcheck shell=bash disable=SC2034  # what it sets is read by the scripts that source it
# A Wayland session for end-to-end scripts: sway on its X11 backend inside
# Xvfb, run as an unprivileged user (sway refuses root), with a background
# picture of known colours, grim for screenshots, wl-copy/wl-paste for the
# clipboard and xdotool for the pointer and the keys (typed into Xvfb, where
# sway's output windows receive them as a seat's input).
#
# A script sources this file, calls wl_start, and uses:
#   wl_run CMD...          runs CMD as the session's user inside the session
#   wl_run_bg LOG CMD...   the same in the background; sets wl_last_pid
#   wl_shot FILE [GEOM]    a grim screenshot (GEOM "X,Y WxH" in layout units)
#   wl_pixel X Y           the colour (RRGGBB) grim sees at a layout point
#   wl_paste / wl_copy T   the Wayland clipboard
#   wl_pointer X Y         moves the pointer to a layout point of the first
#                          output; further xdotool commands may follow
#   wl_key KEYS...         presses keys
#   swaymsg_ ARGS...       swaymsg on the session's socket
# Everything started is ended at exit.
#
# Set before wl_start:
#   WL_SCALE      the outputs' scale (1, 1.5, 2; default 1)
#   WL_OUTPUTS    how many outputs the X11 backend opens (default 1)
#   WL_XWAYLAND   1 (default) or 0
#   WL_MODE       each output's size in pixels (default 1920x1080)
#   WL_BG         a picture file for the background; default: wl_bg_default
#   WL_USER       the session's user (default tinctora-wl, made if missing)
#
# Exit status 77 from wl_install or wl_start means the machine cannot run
# the session (packages cannot be installed, no user can be made).

set -uo pipefail

wl_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wl_repo=$(cd "$wl_here/../../.." && pwd)

WL_SCALE=${WL_SCALE:-1}
WL_OUTPUTS=${WL_OUTPUTS:-1}
WL_XWAYLAND=${WL_XWAYLAND:-1}
WL_MODE=${WL_MODE:-1920x1080}
WL_USER=${WL_USER:-tinctora-wl}

wl_work=$(mktemp -d)
wl_pids=()

wl_packages=(sway swaybg grim wl-clipboard xwayland qt6-wayland xvfb xdotool imagemagick libwayland-bin)

# Installs the session's packages; exits 77 when that is impossible.
wl_install() {
  local missing=0 tool
  for tool in sway swaybg swaymsg grim wl-copy wl-paste Xwayland Xvfb xdotool convert runuser; do
    command -v "$tool" >/dev/null 2>&1 || missing=1
  done
  [ "$missing" = 0 ] && return 0
  if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
    echo "skipped: the Wayland session's packages are missing and cannot be installed without root"
    exit 77
  fi
  if ! "$wl_repo/tools/install-packages" "${wl_packages[@]}" >"$wl_work/install.log" 2>&1; then
    echo "skipped: installing ${wl_packages[*]} failed:"
    tail -5 "$wl_work/install.log"
    exit 77
  fi
}

wl_cleanup() {
  local i
  # sway ends its clients (XWayland, swaybg) as it exits.
  [ -n "${SWAYSOCK:-}" ] && [ -S "$SWAYSOCK" ] && swaymsg_ exit >/dev/null 2>&1
  for ((i = ${#wl_pids[@]} - 1; i >= 0; i--)); do kill "${wl_pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$wl_work"
}
trap wl_cleanup EXIT

wl_now_ms() {
  echo $((${EPOCHREALTIME/[.,]/} / 1000))
}

# Runs COMMAND until it succeeds, for at most TIMEOUT whole seconds.
wl_poll() {  # wl_poll TIMEOUT COMMAND...
  local deadline=$(($(wl_now_ms) + $1 * 1000))
  shift
  until "$@"; do
    (($(wl_now_ms) < deadline)) || return 1
    sleep 0.05
  done
}

# A default background: four quadrants of distinct colours whose channels
# all differ (red CC3311, green 22AA44, blue 3366CC, yellow EEDD22), so a
# picked colour tells where it came from and a swapped channel order shows.
wl_bg_default() {  # wl_bg_default FILE W H
  local hw=$(($2 / 2)) hh=$(($3 / 2))
  convert \( -size "${hw}x${hh}" xc:'#CC3311' -size "$(($2 - hw))x${hh}" xc:'#22AA44' +append \) \
    \( -size "${hw}x$(($3 - hh))" xc:'#3366CC' -size "$(($2 - hw))x$(($3 - hh))" xc:'#EEDD22' +append \) \
    -append "$1"
}

wl_make_user() {
  id "$WL_USER" >/dev/null 2>&1 && return 0
  if ! useradd --system --create-home --shell /bin/sh "$WL_USER" 2>"$wl_work/useradd.log"; then
    echo "skipped: cannot make the user $WL_USER:"; cat "$wl_work/useradd.log"
    exit 77
  fi
}

# Starts Xvfb and sway in it; waits for the IPC and Wayland sockets and for
# the outputs to be configured. Sets DISPLAY (Xvfb, for xdotool),
# XDG_RUNTIME_DIR, WAYLAND_DISPLAY, SWAYSOCK, wl_x_display (XWayland's
# DISPLAY for clients, empty when off) and wl_start_ms (how long it took).
wl_start() {
  local t0 mw mh i
  t0=$(wl_now_ms)
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the session is started as root (it makes its user and runs sway as it)"
    exit 77
  fi
  wl_make_user
  mw=${WL_MODE%x*} mh=${WL_MODE#*x}

  # The Xvfb screen holds the outputs' windows side by side.
  Xvfb -displayfd 3 -screen 0 "$((mw * WL_OUTPUTS))x${mh}x24" -noreset -nolisten tcp \
    3>"$wl_work/display" 2>"$wl_work/xvfb.log" &
  wl_pids+=($!)
  if ! wl_poll 10 test -s "$wl_work/display"; then
    echo "FAILED: Xvfb did not start"; cat "$wl_work/xvfb.log"; return 1
  fi
  DISPLAY=":$(head -1 "$wl_work/display")"
  export DISPLAY

  # The user's own directory for the runtime sockets, the config and the
  # pictures: the root-owned work directory is closed to it.
  wl_home="$wl_work/session"
  export XDG_RUNTIME_DIR="$wl_home/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 711 "$wl_work"
  chmod 700 "$XDG_RUNTIME_DIR"
  if [ -z "${WL_BG:-}" ]; then
    WL_BG="$wl_home/bg.png"
    wl_bg_default "$WL_BG" "$mw" "$mh"
  else
    cp "$WL_BG" "$wl_home/bg.png"
    WL_BG="$wl_home/bg.png"
  fi
  {
    echo "# No bar: the outputs show only the background and the windows."
    echo "output * bg $WL_BG stretch"
    echo "output * scale $WL_SCALE"
    echo "output * mode ${mw}x${mh}"
    echo "xwayland $([ "$WL_XWAYLAND" = 1 ] && echo enable || echo disable)"
    echo "focus_follows_mouse always"
    echo "default_border normal 2"
    # Distinct colours for the focused and the other windows' title bars:
    # a screenshot tells which window has the focus.
    echo "client.focused #00FF00 #00FF00 #000000 #00FF00 #00FF00"
    echo "client.focused_inactive #FF00FF #FF00FF #000000 #FF00FF #FF00FF"
    echo "client.unfocused #FF00FF #FF00FF #000000 #FF00FF #FF00FF"
    # A key the compositor itself handles, with an effect a screenshot shows.
    echo "bindsym F9 output * bg #123456 solid_color"
  } >"$wl_home/config"
  chown -R "$WL_USER" "$wl_home"

  env -i PATH="$PATH" HOME="$(getent passwd "$WL_USER" | cut -d: -f6)" USER="$WL_USER" \
    DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" \
    WLR_BACKENDS=x11 WLR_RENDERER=pixman WLR_X11_OUTPUTS="$WL_OUTPUTS" WLR_LIBINPUT_NO_DEVICES=1 \
    runuser -u "$WL_USER" -- sway --config "$wl_home/config" >"$wl_work/sway.log" 2>&1 &
  wl_pids+=($!)
  wl_sway_pid=$!
  if ! wl_poll 20 wl_sockets_ready; then
    echo "FAILED: sway did not start"; tail -30 "$wl_work/sway.log"; return 1
  fi
  if ! wl_poll 10 wl_outputs_ready; then
    echo "FAILED: sway's outputs did not take the configured mode and scale"
    swaymsg_ -t get_outputs 2>&1 | head -40; return 1
  fi
  wl_x_display=""
  if [ "$WL_XWAYLAND" = 1 ]; then
    # sway starts XWayland lazily: its socket appears at once, the server
    # when the first X client connects.
    wl_poll 10 wl_xwayland_socket || { echo "FAILED: no XWayland socket"; return 1; }
  fi
  # The outputs' windows sit side by side on the Xvfb screen (without a
  # window manager they all open at its corner).
  mapfile -t wl_windows < <(wl_output_windows)
  for ((i = 0; i < ${#wl_windows[@]}; i++)); do
    xdotool windowmove "${wl_windows[i]}" "$((i * mw))" 0
  done
  # swaybg paints the background a moment after the outputs come up.
  local corner
  corner=$(convert "$WL_BG" -format '%[hex:u.p{0,0}]' info: 2>/dev/null | cut -c1-6)
  if ! wl_poll 10 wl_pixel_is 1 1 "$corner"; then
    echo "FAILED: the background did not show $corner"; return 1
  fi
  wl_start_ms=$(($(wl_now_ms) - t0))
}

wl_pixel_is() {  # wl_pixel_is X Y COLOUR
  [ "$(wl_pixel "$1" "$2")" == "$3" ]
}

wl_sockets_ready() {
  SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -1)
  WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-[0-9] 2>/dev/null | head -1)
  [ -S "${SWAYSOCK:-/nonexistent}" ] && [ -n "$WAYLAND_DISPLAY" ] && [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] &&
    export SWAYSOCK WAYLAND_DISPLAY
}

wl_outputs_ready() {
  local n
  n=$(swaymsg_ -t get_outputs 2>/dev/null | grep -c '"scale": '"$WL_SCALE"'\b' || true)
  [ "$n" -ge "$WL_OUTPUTS" ]
}

# sway sets DISPLAY to XWayland's for what it runs: a command it runs
# tells it.
wl_xwayland_socket() {
  [ -s "$wl_home/xdisplay" ] || swaymsg_ exec "'echo \$DISPLAY >$wl_home/xdisplay'" >/dev/null 2>&1
  wl_poll 2 test -s "$wl_home/xdisplay" || return 1
  wl_x_display=$(cat "$wl_home/xdisplay")
  [ -n "$wl_x_display" ] && [ "$wl_x_display" != "$DISPLAY" ]
}

# The X windows of sway's outputs on Xvfb, in output order: the only
# top-level windows there, nameless, made one after another (X11-1 first),
# so their ids rise in output order.
wl_output_windows() {
  xwininfo -root -children | awk '/^ +0x[0-9a-f]+ / {print $1}' | while read -r w; do
    echo "$((w)) $w"
  done | sort -n | awk '{print $2}'
}

swaymsg_() {
  runuser -u "$WL_USER" -- env XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" SWAYSOCK="$SWAYSOCK" swaymsg "$@"
}

wl_env() {
  echo PATH="$PATH" HOME="$(getent passwd "$WL_USER" | cut -d: -f6)" USER="$WL_USER" \
    XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" SWAYSOCK="$SWAYSOCK" \
    DISPLAY="${wl_x_display:-}"
}

# Runs COMMAND as the session's user in the session (WAYLAND_DISPLAY,
# XDG_RUNTIME_DIR, SWAYSOCK and XWayland's DISPLAY set); VAR=value words
# before the command are added to its environment.
wl_run() {
  # shellcheck disable=SC2046  # wl_env prints VAR=value words without spaces
  runuser -u "$WL_USER" -- env -i $(wl_env) "$@"
}

wl_run_bg() {  # wl_run_bg LOG COMMAND...
  local log=$1
  shift
  # shellcheck disable=SC2046
  runuser -u "$WL_USER" -- env -i $(wl_env) "$@" >"$log" 2>&1 &
  wl_last_pid=$!
  wl_pids+=($!)
}

# A screenshot with grim into FILE (root-owned after); GEOMETRY as grim's -g.
wl_shot() {  # wl_shot FILE [GEOMETRY]
  local tmp="$wl_home/shot-$$.png"
  if [ -n "${2:-}" ]; then
    wl_run grim -g "$2" "$tmp" || return 1
  else
    wl_run grim "$tmp" || return 1
  fi
  mv "$tmp" "$1"
}

# The colour (RRGGBB) at a layout point of the session's layout, through a
# one-unit grim capture (at a scale, the capture is scale x scale pixels
# of one colour away from edges).
wl_pixel() {  # wl_pixel X Y
  wl_shot "$wl_work/pixel.png" "$1,$2 1x1" || return 1
  convert "$wl_work/pixel.png" -format '%[hex:u.p{0,0}]' info: 2>/dev/null | cut -c1-6
}

wl_copy() {  # wl_copy TEXT
  # wl-copy forks a server that holds the selection until replaced; its
  # standard streams are closed so no pipe of the caller stays open.
  wl_run wl-copy -- "$1" </dev/null >/dev/null 2>&1
}

wl_paste() {
  wl_run timeout 5 wl-paste --no-newline 2>/dev/null
}

# The Xvfb position of layout point X,Y of output N (1 = first), X,Y
# counted from that output's corner.
wl_to_x11() {  # wl_to_x11 X Y [N]
  local n=${3:-1} mw=${WL_MODE%x*}
  awk -v x="$1" -v y="$2" -v s="$WL_SCALE" -v o="$(((n - 1) * mw))" \
    'BEGIN {printf "%d %d\n", o + x * s + 0.5, y * s + 0.5}'
}

# Output N's layout rectangle as grim's geometry "X,Y WxH".
wl_output_rect() {  # wl_output_rect N
  swaymsg_ -t get_outputs -r | python3 -c 'import json, sys
o = sorted(json.load(sys.stdin), key=lambda o: o["name"])[int(sys.argv[1]) - 1]["rect"]
print("%d,%d %dx%d" % (o["x"], o["y"], o["width"], o["height"]))' "$1"
}

# Moves the pointer to a layout point of the first output (through Xvfb's
# pointer over sway's window); more xdotool commands may follow.
wl_pointer() {  # wl_pointer X Y [xdotool COMMAND...]
  local px py
  read -r px py < <(wl_to_x11 "$1" "$2")
  shift 2
  xdotool mousemove "$px" "$py" "$@"
}

wl_key() {
  xdotool key "$@"
}
