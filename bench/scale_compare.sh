#!/usr/bin/env bash
# Measures tinctora at display scales of 100 % and 150 % (Xft.dpi 96 and
# 144) in one run, on one virtual X server (1920x1080x24, openbox):
#   - start-up: from exec to the window being viewable, the median of RUNS
#     runs after a warm-up, and the peak memory (VmHWM) after a second idle;
#   - the pick: 1,000 pointer movements a second for PICK_SECONDS through
#     XTest with the button held on the picker pad, the CPU time of the
#     program and of the X server per movement.
# Exit 77 (skipped) without Xvfb, openbox or xprop.
#
# usage: scale_compare.sh [PATH/TO/tinctora [PATH/TO/desktop_driver]]
# environment: RUNS (10), PICK_SECONDS (10), SCALES ("100 150")
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
program=$(realpath "${1:-$root/build/programs/linux/tinctora}")
driver=$(realpath "${2:-$root/build/bench/desktop_driver}")
runs=${RUNS:-10}
seconds=${PICK_SECONDS:-10}
scales=${SCALES:-100 150}
for file in "$program" "$driver"; do
  [ -x "$file" ] || { echo "scale_compare: $file is not built"; exit 1; }
done
for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done

source "$root/tools/virtual-x.sh"
work=$vx_work
vx_start 1920x1080x24 || exit 1
xvfb_pid=$vx_server_pid
unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
mkdir -m 700 "$work/home" "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
vx_start_wm

value() { awk -v k="$1" '$1 == k { print $2 }' "${@:2}"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else if (NR % 2) printf "%.2f\n", v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf "%-7s %10s %10s %14s %14s %10s\n" scale "map ms" "VmHWM MB" "program us" "X server us" "pick MB"
for scale in $scales; do
  # The desktop's scale as desktops set it: the resource Qt reads, as xrdb
  # would load it.
  xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER $'Xft.dpi:\t'"$((96 * scale / 100))"$'\n'
  "$driver" start --idle 1000 -- "$program" >"$work/warmup" 2>>"$work/log" || true
  for run in $(seq "$runs"); do
    "$driver" start --idle 1000 -- "$program" >"$work/start.$scale.$run" 2>>"$work/log" || echo "run $run failed" >&2
  done
  "$driver" pick --server-pid "$xvfb_pid" --rate 1000 --seconds "$seconds" --scale "$scale" -- "$program" \
    >"$work/pick.$scale" 2>>"$work/log"
  files=("$work/start.$scale".*)
  printf "%-7s %10s %10s %14s %14s %10s\n" "$scale %" \
    "$(value map_ms "${files[@]}" | median)" \
    "$(value hwm_kb "${files[@]}" | awk '{ print $1 / 1024 }' | median)" \
    "$(value program_cpu_us_per_move "$work/pick.$scale")" \
    "$(value server_cpu_us_per_move "$work/pick.$scale")" \
    "$(( $(value hwm_kb "$work/pick.$scale" || echo 0) / 1024 ))"
done
