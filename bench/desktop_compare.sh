#!/usr/bin/env bash
# Measures tinctora beside two other colour pickers of Debian, gpick and
# gcolor3, on one virtual X server (1280x1024x24, openbox):
#   - start-up: from exec to the first top-level window being viewable,
#     the median of RUNS runs after one warm-up run, and the peak memory
#     (VmHWM) after the window has been idle for a second;
#   - tinctora's pick: 1,000 pointer movements a second for 10 seconds
#     through XTest while the button is held on the picker pad; the CPU time
#     of the program and of the X server per movement, how long after the
#     last movement the preview box and the zoom view show its colour, and
#     the motion counts the program writes to TINCTORA_STATS at exit.
# The other pickers are installed with tools/install-packages when missing.
# Exit 77 (skipped) when they or the X tools cannot be had.
#
# usage: desktop_compare.sh [PATH/TO/tinctora [PATH/TO/desktop_driver]]
# environment: RUNS (10), PICK_RATE (1000 a second), PICK_SECONDS (10),
#   PICK_RUNS (1): picks of each build, reported one by one and as medians;
#   BASELINE: another build of tinctora, picked in turn with the first on the
#     same server, "before" beside "after";
#   PICK_ONLY=1: the picks alone, without the start-up part (and without
#     the other pickers).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
program=$(realpath "${1:-$root/build/programs/linux/tinctora}")
driver=$(realpath "${2:-$root/build/bench/desktop_driver}")
runs=${RUNS:-10}
rate=${PICK_RATE:-1000}
seconds=${PICK_SECONDS:-10}
pick_runs=${PICK_RUNS:-1}
pick_only=${PICK_ONLY:-0}
builds=("$program")
labels=(tinctora)
if [ -n "${BASELINE:-}" ]; then
  builds=("$(realpath "$BASELINE")" "$program")
  labels=(before after)
fi
for file in "${builds[@]}" "$driver"; do
  [ -x "$file" ] || { echo "desktop_compare: $file is not built"; exit 1; }
done

needed=(Xvfb openbox)
packages=(xvfb openbox)
if [ "$pick_only" != 1 ]; then
  needed+=(gpick gcolor3)
  packages+=(gpick gcolor3)
fi
missing=()
for tool in "${needed[@]}"; do command -v "$tool" >/dev/null 2>&1 || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
  "$root"/tools/install-packages "${packages[@]}" >/dev/null 2>&1 || true
  for tool in "${missing[@]}"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "skipped: $tool is not installed and could not be installed"
      exit 77
    fi
  done
fi

source "$root/tools/virtual-x.sh"
work=$vx_work
vx_start 1280x1024x24 || { echo "desktop_compare: Xvfb did not start"; exit 1; }
xvfb_pid=$vx_server_pid
unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS
# Every program starts from the same empty home and settings; the GTK
# programs are kept from waiting for an accessibility bus that is not there.
mkdir -m 700 "$work/home" "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
export XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share" NO_AT_BRIDGE=1
vx_start_wm
sleep 1

names=(tinctora gpick gcolor3)
commands=("$program" gpick gcolor3)
# key VALUE lines of one run go to $work/NAME.RUN
start_run() {  # start_run INDEX OUTPUT
  "$driver" start --idle 1000 -- "${commands[$1]}" >"$2" 2>>"$work/${names[$1]}.log"
}
if [ "$pick_only" != 1 ]; then
  for i in "${!names[@]}"; do start_run "$i" "$work/warmup" || true; done
  for run in $(seq "$runs"); do
    for i in "${!names[@]}"; do
      start_run "$i" "$work/${names[i]}.$run" || echo "run $run of ${names[i]} failed" >&2
    done
  done
fi

value() { awk -v k="$1" '$1 == k { print $2 }' "${@:2}"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else if (NR % 2) printf "%.2f\n", v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
range() { sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { if (NR) printf "%s-%s", lo, hi; else print "n/a" }'; }

# The picks: each build in turn, PICK_RUNS times, on the same server.
for run in $(seq "$pick_runs"); do
  for j in "${!builds[@]}"; do
    out="$work/pick.${labels[j]}.$run"
    TINCTORA_STATS="$work/stats" "$driver" pick --server-pid "$xvfb_pid" --rate "$rate" --seconds "$seconds" \
      -- "${builds[j]}" >"$out" 2>>"$work/tinctora.log" || echo "pick $run of ${labels[j]} failed" >&2
    # Derived figures of the run, as more key VALUE lines.
    awk '$1 == "movements" { s = $2 } $1 == "motion_received" { r = $2 } $1 == "motion_handled" { h = $2 }
         $1 == "program_cpu_us_per_move" { c = $2 }
         END { if (r > 0 && h != "") printf "handled_of_received_percent %.2f\n", 100 * h / r
               if (s > 0 && h != "") { printf "handled_percent %.2f\n", 100 * h / s
                                       if (h > 0) printf "program_cpu_us_per_handled %.1f\n", c * s / h } }' \
      "$out" >>"$out"
  done
done

if [ "$pick_only" != 1 ]; then
  echo "Start-up and memory (median of $runs runs after a warm-up; Xvfb 1280x1024x24, openbox)"
  printf "%-10s %14s %16s %16s %6s\n" program "map ms" "map ms range" "VmHWM MB" runs
  for name in "${names[@]}"; do
    files=("$work/$name".[0-9]*)
    ms=$(value map_ms "${files[@]}" 2>/dev/null | median)
    spread=$(value map_ms "${files[@]}" 2>/dev/null | range)
    mb=$(value hwm_kb "${files[@]}" 2>/dev/null | awk '{ print $1 / 1024 }' | median)
    n=$(value map_ms "${files[@]}" 2>/dev/null | wc -l)
    printf "%-10s %14s %16s %16.1f %6s\n" "$name" "$ms" "$spread" "$mb" "$n"
  done
  echo
fi

first="$work/pick.${labels[0]}.1"
echo "tinctora's pick: $(value movements "$first") movements at $rate a second" \
  "($(value late_sends "$work"/pick.*.* | awk '{ s += $1 } END { print s + 0 }') sent late in all runs)," \
  "$pick_runs run(s) of each build; the median last"
rows=(
  "program_cpu_us_per_move|program CPU a movement (utime+stime), us"
  "program_run_us_per_move|program CPU a movement (scheduler), us"
  "server_cpu_us_per_move|X server CPU a movement (utime+stime), us"
  "server_run_us_per_move|X server CPU a movement (scheduler), us"
  "preview_ms|preview box up to date after the last move, ms"
  "zoom_ms|zoom view up to date after the last move, ms"
  "hwm_kb|VmHWM after the pick, kB"
  "motion_received|motion events received"
  "motion_handled|motion events handled"
  "screen_reads|screen reads the program made"
  "server_reads|screen reads that asked the X server"
  "handled_of_received_percent|handled / received, %"
  "handled_percent|handled / sent, %"
  "program_cpu_us_per_handled|program CPU a handled movement, us"
)
for j in "${!builds[@]}"; do
  [ ${#builds[@]} -gt 1 ] && echo "${labels[j]}: ${builds[j]}"
  for row in "${rows[@]}"; do
    key=${row%%|*}
    line=$(printf "%-48s" "${row#*|}")
    for run in $(seq "$pick_runs"); do
      line+=$(printf " %10s" "$(value "$key" "$work/pick.${labels[j]}.$run" | head -1)")
    done
    [ "$pick_runs" -gt 1 ] && line+=$(printf " %10s" "$(value "$key" "$work/pick.${labels[j]}".[0-9]* | median)")
    echo "$line"
  done
done
if [ -z "$(value motion_received "$first")" ]; then
  echo "motion events received / handled: unavailable (no TINCTORA_STATS written)"
fi
