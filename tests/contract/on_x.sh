#!/usr/bin/env bash
# Runs a program on a virtual X server of its own, with openbox as the
# window manager when it is installed; exit 77 (skipped) without Xvfb.
#
# usage: on_x.sh PROGRAM [ARGUMENTS...]
set -uo pipefail
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "skipped: Xvfb is not installed (tools/install-packages installs it)"
  exit 77
fi
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work"
chmod 700 "$work"
if command -v openbox >/dev/null 2>&1; then
  openbox >"$work/wm.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
    sleep 0.1
  done
fi
"$@"
