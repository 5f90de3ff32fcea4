#!/usr/bin/env bash
# shellcheck disable=SC2154,SC1091  # failures and the wl_ variables come from the sourced files
# The desktop portal's Screenshot and PickColor as the Qt backend requests
# them (platform/qt/wayland/portal.cpp, driven by portal_probe), each run on
# a private session bus of its own.
#
#   portal_check.sh stand_in PROBE STAND_IN
#     On a bus that activates nothing: no portal at all, then the stand-in
#     portal answering with a picture of the four known quadrants, a
#     colour, a refusal, an error, its answer sent before the call's reply,
#     and a Request path other than the one asked for. Needs no root.
#   portal_check.sh sway PROBE STAND_IN
#     The real portal (xdg-desktop-portal with its wlroots backend) in the
#     sway session of session.sh: the screenshot's size and its quadrants,
#     a colour picked with slurp by a click, a pick ended with Escape, and
#     the time from request to picture. Needs root (session.sh).
#
# Exit 0 when all hold, 1 on a failure, 77 when the machine cannot run it.
mode=${1:?usage: portal_check.sh stand_in|sway PROBE STAND_IN}
probe=$(realpath "${2:?usage: portal_check.sh stand_in|sway PROBE STAND_IN}")
stand_in=$(realpath "${3:?usage: portal_check.sh stand_in|sway PROBE STAND_IN}")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/portal_session.sh"

# The quadrants of session.sh's background, at points 10 pixels in from
# each corner of a 1920x1080 picture.
# shellcheck disable=SC2054  # X,Y pairs
corners=(10,10 1910,10 10,1070 1910,1070)
corner_colours=(CC3311 22AA44 3366CC EEDD22)

# The probe's line starting with WORD, less the word.
line_of() {  # line_of WORD OUTPUT
  sed -n "s/^$1 //p" <<<"$2" | head -1
}

check_quadrants() {  # check_quadrants WHERE OUTPUT
  local i
  check "$1: the picture's size" 1920x1080 "$(line_of picture "$2")"
  for i in 0 1 2 3; do
    check "$1: the picture at ${corners[i]}" "${corner_colours[i]}" "$(line_of "pixel ${corners[i]}" "$2")"
  done
}

# The median of the numbers given.
median() {
  printf '%s\n' "$@" | sort -n |
    awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

run_stand_in() {
  local tool
  for tool in dbus-run-session dbus-daemon convert; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A session bus with no service folders: nothing is activated on it, so
  # a portal installed on the machine stays out of the run.
  portal_bus_config "$work/bus.conf" "unix:dir=$work"
  convert \( -size 960x540 xc:'#CC3311' -size 960x540 xc:'#22AA44' +append \) \
    \( -size 960x540 xc:'#3366CC' -size 960x540 xc:'#EEDD22' +append \) -append "$work/bg.png"
  # The same script again, on that bus.
  PORTAL_CHECK_WORK=$work dbus-run-session --config-file="$work/bus.conf" -- "$0" stand_in_on_bus "$probe" "$stand_in" \
    2> >(grep -v 'Failed to set fd limit' >&2)
}

stop_stand_in() {
  [ -n "${stand_in_pid:-}" ] && { kill "$stand_in_pid" 2>/dev/null; wait "$stand_in_pid" 2>/dev/null; }
  stand_in_pid=""
}

# Starts the stand-in with ARGS and waits for it to own the portal's name;
# the calls it logs go to $work/calls.log.
start_stand_in() {  # start_stand_in ARGS...
  stop_stand_in
  # The previous stand-in's "ready" must not count for this one.
  : >"$work/calls.log"
  : >"$work/ready"
  "$stand_in" --dir "$work" "$@" >"$work/ready" 2>"$work/calls.log" &
  stand_in_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    grep -q ready "$work/ready" && return 0
    sleep 0.05
  done
  echo "FAILED: the stand-in portal did not start"; cat "$work/calls.log"; return 1
}

stand_in_runs() {
  source "$here/../checks.sh"
  on_check_failed() { :; }
  work=$PORTAL_CHECK_WORK
  trap stop_stand_in EXIT
  local out
  check "no portal: the screenshot" "failed: no desktop portal on the session bus" "$("$probe" screenshot)"
  check "no portal: the colour" "failed: no desktop portal on the session bus" "$("$probe" colour)"

  start_stand_in --picture "$work/bg.png" --colour 3A7FC4 || exit 1
  out=$("$probe" screenshot --times 5 "${corners[@]}")
  check_quadrants "the stand-in" "$out"
  check "the stand-in: five pictures in a row" 5 "$(grep -c '^picture 1920x1080$' <<<"$out")"
  check "the call asked for no dialog" yes "$(grep -q '^Screenshot .*interactive=false' "$work/calls.log" && echo yes)"
  check "the call carried a handle token" yes \
    "$(grep -Eq '^Screenshot .*handle_token=[A-Za-z0-9_]+' "$work/calls.log" && echo yes)"
  # shellcheck disable=SC2046  # one number a line
  echo "note: stand-in request to picture (1920x1080 PNG): median $(median $(sed -n 's/^ms //p' <<<"$out")) ms of 5"
  check "the stand-in: the colour" "colour 3A7FC4" "$("$probe" colour | head -1)"
  # The picture belongs to the portal: it is read, not removed.
  check "the stand-in's picture left in place" yes "$(ls "$work"/stand-in-*.png >/dev/null 2>&1 && echo yes)"

  # The Response sent before the call's reply reaches a caller that
  # subscribed before calling.
  start_stand_in --picture "$work/bg.png" --colour 102030 --answer-first || exit 1
  check_quadrants "an answer before the reply" "$("$probe" screenshot "${corners[@]}")"
  check "an answer before the reply: the colour" "colour 102030" "$("$probe" colour | head -1)"

  # A portal older than 0.9 names its own Request path.
  start_stand_in --picture "$work/bg.png" --colour 102030 --legacy-handle --delay 300 || exit 1
  check_quadrants "a Request path of the portal's own" "$("$probe" screenshot "${corners[@]}")"
  check "a Request path of the portal's own: the colour" "colour 102030" "$("$probe" colour | head -1)"

  # The context destroyed while the portal is still busy: no callback,
  # neither when the answer comes nor later.
  start_stand_in --picture "$work/bg.png" --delay 300 || exit 1
  check "the context destroyed before the answer" "no answer" "$("$probe" abandon 50)"

  start_stand_in --picture "$work/bg.png" --refuse || exit 1
  check "refused: the screenshot" "failed: the user cancelled the screenshot" "$("$probe" screenshot)"
  check "refused: the colour" "failed: the user cancelled the colour pick" "$("$probe" colour)"

  # Code 2: the stand-in cannot read its picture and gives no colour.
  start_stand_in --picture "$work/missing.png" || exit 1
  check "the portal's error: the screenshot" "failed: the desktop portal refused or could not complete the screenshot" \
    "$("$probe" screenshot)"
  check "the portal's error: the colour" "failed: the desktop portal refused or could not complete the colour pick" \
    "$("$probe" colour)"
  stop_stand_in
  [ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
  echo "all checks passed"
}

run_sway() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the sway session is started as root (session.sh)"
    exit 77
  fi
  . "$here/session.sh"
  . "$here/checks.sh"
  wl_install
  portal_install
  wl_start || exit 1
  portal_start || exit 1
  cp "$probe" "$wl_home/portal_probe" && chown "$WL_USER" "$wl_home/portal_probe"

  local shots
  shots=$(portal_run "$wl_home/portal_probe" screenshot --times 6 "${corners[@]}" 2>&1)
  check_quadrants "the real portal" "$shots"
  check "the real portal: six pictures in a row" 6 "$(grep -c '^picture 1920x1080$' <<<"$shots")"
  local times
  mapfile -t times < <(sed -n 's/^ms //p' <<<"$shots")
  echo "note: the real portal started in $portal_start_ms ms;" \
    "request to picture (1920x1080): median $(median "${times[@]}") ms of ${#times[@]} (${times[*]})"

  # slurp waits for a click on the output: one on the yellow quadrant, then
  # Escape for the second pick.
  check "the real portal: the colour clicked with slurp" "colour EEDD22" "$(colour_with 'wl_pointer 1500 900 click 1')"
  check "the real portal: the pick ended with Escape" \
    "failed: the desktop portal refused or could not complete the colour pick" "$(colour_with 'wl_key Escape')"
  if [ "$failures" -ne 0 ]; then echo "--- the screenshots"; grep -v '^pixel' <<<"$shots" | tail -20; fi
  checks_finish
}

# The probe's colour pick, answered in slurp with ACTION (a command).
colour_with() {  # colour_with ACTION
  portal_run_bg "$wl_work/colour.log" timeout 60 "$wl_home/portal_probe" colour
  local pid=$wl_last_pid
  wl_poll 30 picker_veils 1500 900 EEDD22 && eval "$1"
  wait "$pid"
  grep -E '^(colour|failed)' "$wl_work/colour.log" | head -1
}

case $mode in
  stand_in) run_stand_in ;;
  stand_in_on_bus) stand_in_runs ;;
  sway) run_sway ;;
  *) echo "usage: portal_check.sh stand_in|sway PROBE STAND_IN"; exit 2 ;;
esac
