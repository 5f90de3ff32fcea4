# shellcheck shell=bash disable=SC2154,SC2034  # wl_ variables from session.sh; what it sets is for the scripts
# The desktop portal in the sway session of session.sh: a session bus of
# the session's user, PipeWire (the wlroots backend exits without it) and
# xdg-desktop-portal, started by activation, with its wlroots backend
# (Screenshot, and PickColor through slurp) and its GTK backend (the Access
# interface: without one, xdg-desktop-portal 1.16 offers no Screenshot).
# Or, on a bus that activates nothing, the stand-in portal in its place.
#
# A script sources session.sh, then this file; it calls portal_install
# before wl_start, portal_start or portal_start_stand_in after it, and uses:
#   portal_run CMD...          wl_run on the bus, as a program of the desktop
#   portal_run_bg LOG CMD...   the same in the background; sets wl_last_pid
#   picker_veils X Y COLOUR    whether the portal's colour picker (slurp)
#                              is up and its veil over layout point X,Y,
#                              which shows COLOUR without it
# portal_stop ends what was started; it runs at exit too, before
# session.sh's own cleanup.
#
# portal_bus_config FILE ADDRESS alone needs nothing else: the policy of a
# session bus listening at ADDRESS that activates no service.

portal_pids=()

# A session bus that activates nothing, so a portal installed on the
# machine stays out; the policy is that of dbus' own session bus.
portal_bus_config() {  # portal_bus_config FILE ADDRESS
  cat >"$1" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>$2</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
}

# Installs the portal's packages; exits 77 when that is impossible.
portal_install() {
  local packages=(xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk pipewire slurp libglib2.0-bin dbus-daemon dbus-bin)
  if [ -x /usr/libexec/xdg-desktop-portal-wlr ] && [ -x /usr/libexec/xdg-desktop-portal-gtk ] &&
    command -v pipewire >/dev/null && command -v slurp >/dev/null && command -v gdbus >/dev/null &&
    command -v dbus-daemon >/dev/null && command -v dbus-send >/dev/null; then
    return 0
  fi
  if ! "$wl_repo/tools/install-packages" "${packages[@]}" >"$wl_work/portal-install.log" 2>&1; then
    echo "skipped: installing ${packages[*]} failed:"; tail -5 "$wl_work/portal-install.log"
    exit 77
  fi
}

# What a program of the desktop finds in its environment: the bus, the
# desktop's name (xdg-desktop-portal picks its backends by it), and no
# accessibility bus (the GTK backend would wait 25 s for one).
portal_env() {
  echo DBUS_SESSION_BUS_ADDRESS="unix:path=$portal_bus" XDG_CURRENT_DESKTOP=sway NO_AT_BRIDGE=1
}

portal_run() {
  # shellcheck disable=SC2046  # VAR=value words without spaces
  wl_run $(portal_env) "$@"
}

portal_run_bg() {  # portal_run_bg LOG CMD...
  local log=$1
  shift
  # shellcheck disable=SC2046
  wl_run_bg "$log" $(portal_env) "$@"
  portal_pids+=("$wl_last_pid")
}

# Starts the session's bus, with dbus-daemon's OPTIONS (which bus
# configuration); the activated services inherit its environment.
portal_bus_start() {  # portal_bus_start OPTIONS...
  portal_bus="$XDG_RUNTIME_DIR/bus"
  portal_run_bg "$wl_work/bus.log" dbus-daemon "$@" --nofork --nopidfile --address="unix:path=$portal_bus"
  if ! wl_poll 10 test -S "$portal_bus"; then
    echo "FAILED: the session bus did not start"; cat "$wl_work/bus.log"; return 1
  fi
  trap 'portal_stop; wl_cleanup' EXIT
}

# The bus, PipeWire and the portal, activated by a read of its Screenshot
# version; sets portal_start_ms (the portal's start alone).
portal_start() {
  portal_bus_start --session || return 1
  portal_run_bg "$wl_work/pipewire.log" pipewire
  if ! wl_poll 10 test -S "$XDG_RUNTIME_DIR/pipewire-0"; then
    echo "FAILED: PipeWire did not start"; cat "$wl_work/pipewire.log"; return 1
  fi
  local t0 version i
  t0=$(wl_now_ms)
  # xdg-desktop-portal-wlr 0.7 may leave a call that came while it started
  # unread until another one comes; xdg-desktop-portal then waits 25 s for
  # its answer. It is started first and called until it answers.
  for ((i = 0; i < 50; i++)); do
    portal_run dbus-send --session --print-reply --reply-timeout=200 --dest=org.freedesktop.impl.portal.desktop.wlr \
      /org/freedesktop/portal/desktop org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break
  done
  version=$(portal_run gdbus call --session --timeout 60 --dest org.freedesktop.portal.Desktop \
    --object-path /org/freedesktop/portal/desktop --method org.freedesktop.DBus.Properties.Get \
    org.freedesktop.portal.Screenshot version 2>&1)
  portal_start_ms=$(($(wl_now_ms) - t0))
  if [[ "$version" != *uint32* ]]; then
    echo "FAILED: the desktop portal offers no Screenshot: $version"; return 1
  fi
}

# The stand-in portal, with its ARGS, on a bus that activates nothing
# (started with the first one); a stand-in started before is ended first,
# and its pictures removed. Its calls go to $wl_work/stand-in.log, its
# pictures to $wl_home/stand-in-N.png.
portal_start_stand_in() {  # portal_start_stand_in STAND_IN ARGS...
  local exe="$wl_home/portal_stand_in"
  if [ -z "${portal_bus:-}" ]; then
    cp "$1" "$exe" && chown "$WL_USER" "$exe"
    portal_bus_config "$wl_home/bus.conf" "unix:path=$XDG_RUNTIME_DIR/bus"
    portal_bus_start --config-file="$wl_home/bus.conf" || return 1
  fi
  shift
  if [ -n "${portal_stand_in_pid:-}" ]; then
    kill "$portal_stand_in_pid" 2>/dev/null && wait "$portal_stand_in_pid" 2>/dev/null
    rm -f "$wl_home"/stand-in-*.png
  fi
  portal_run_bg "$wl_work/stand-in.log" "$exe" --dir "$wl_home" "$@"
  portal_stand_in_pid=$wl_last_pid
  if ! wl_poll 10 grep -qs '^ready' "$wl_work/stand-in.log"; then
    echo "FAILED: the stand-in portal did not start"; cat "$wl_work/stand-in.log"; return 1
  fi
}

# Ends what portal_start started, the last first; the services the bus
# activated end with it.
portal_stop() {
  local i
  for ((i = ${#portal_pids[@]} - 1; i >= 0; i--)); do
    kill "${portal_pids[i]}" 2>/dev/null && wait "${portal_pids[i]}" 2>/dev/null
  done
  portal_pids=()
}

# slurp dims the outputs while it waits for a click: the click is taken
# once the dimming shows.
picker_veils() {  # picker_veils X Y COLOUR
  pgrep -u "$WL_USER" -x slurp >/dev/null && [ "$(wl_pixel "$1" "$2")" != "$3" ]
}
