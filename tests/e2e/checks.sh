# shellcheck shell=bash
# Results and waiting, shared by every end-to-end script: the X11 ones
# (through lib.sh), the Wine ones and the Wayland ones. Sourced; the script
# defines `on_check_failed NAME`, which keeps what the screen shows when a
# check fails, and reads `failures` at its end.

failures=0

check() {  # check WHAT EXPECTED GOT
  if [ "$2" == "$3" ]; then
    echo "ok: $1 is $3"
  else
    echo "FAILED: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
    on_check_failed "failed-$failures"
  fi
}

check_within() {  # check_within WHAT EXPECTED GOT TOLERANCE (integers)
  local d=$(($3 - $2))
  if [ "${d#-}" -le "$4" ]; then
    echo "ok: $1 is $3 (expected $2 within $4)"
  else
    echo "FAILED: $1: expected $2 within $4, got $3"
    failures=$((failures + 1))
    on_check_failed "failed-$failures"
  fi
}

# Runs COMMAND until it succeeds, for at most TIMEOUT whole seconds;
# returns false when the time ran out.
poll_until() {  # poll_until TIMEOUT COMMAND...
  local deadline=$((${EPOCHREALTIME/[.,]/} + $1 * 1000000))
  shift
  until "$@"; do
    ((${EPOCHREALTIME/[.,]/} < deadline)) || return 1
    sleep 0.05  # between tries: most conditions come with no event to wait on
  done
}

# Checks as `check` does once COMMAND prints EXPECTED, or with what it
# printed last when TIMEOUT seconds have passed.
check_soon() {  # check_soon WHAT EXPECTED TIMEOUT COMMAND...
  local what=$1 timeout=$3
  soon_expected=$2
  shift 3
  poll_until "$timeout" prints_expected "$@"
  check "$what" "$soon_expected" "$soon_got"
}
prints_expected() {
  soon_got=$("$@")
  [ "$soon_got" == "$soon_expected" ]
}
