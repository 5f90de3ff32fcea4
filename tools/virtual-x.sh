# A virtual X server of a script's own, with openbox, gone when the script
# exits. Sourced (bash):
#   source tools/virtual-x.sh
#   vx_start SIZE        starts Xvfb (a screen of SIZE, e.g. 1280x1024x24),
#                        exports DISPLAY, sets vx_server_pid; returns 1 when
#                        it does not start
#   vx_start_wm          starts openbox when installed and waits until it
#                        manages the screen
#   vx_background CMD..  runs CMD in the background, killed at exit
# $vx_work is a private directory for the script's files, removed at exit.

vx_work=$(mktemp -d)
chmod 700 "$vx_work"
vx_pids=()
vx_server_pid=
vx_cleanup() {
  local i
  for ((i = ${#vx_pids[@]} - 1; i >= 0; i--)); do kill "${vx_pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$vx_work"
}
trap vx_cleanup EXIT

vx_start() {
  Xvfb -displayfd 3 -screen 0 "$1" -noreset -nolisten tcp 3>"$vx_work/display" 2>"$vx_work/xvfb.log" &
  vx_server_pid=$!
  vx_pids+=("$vx_server_pid")
  local _
  for _ in $(seq 100); do [ -s "$vx_work/display" ] && break; sleep 0.1; done
  if [ ! -s "$vx_work/display" ]; then
    echo "Xvfb did not start"; cat "$vx_work/xvfb.log"
    return 1
  fi
  export DISPLAY=":$(head -1 "$vx_work/display")"
  unset WAYLAND_DISPLAY
}

vx_background() {
  "$@" &
  vx_pids+=($!)
}

vx_start_wm() {
  command -v openbox >/dev/null 2>&1 || return 0
  vx_background openbox >"$vx_work/wm.log" 2>&1
  local _
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && return 0
    sleep 0.1
  done
}
