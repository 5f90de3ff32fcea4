#!/usr/bin/env bash
# The arrow keys during a pick when another client holds one of them, and
# the end of a pick that loses its pointer grab: a refused key does not
# nudge while the others do, and every key the pick held is free again
# when it ends, however it ended.
#
# usage: hotkeys.sh PATH/TO/tinctora
program=${1:?usage: hotkeys.sh PATH/TO/tinctora}
test_name=hotkeys
. "$(dirname "$0")/lib.sh"
xhelper=${TINCTORA_E2E_XHELPER:-}
if [ -z "$xhelper" ] || [ ! -x "$xhelper" ]; then
  echo "skipped: the test's X client is not built (it needs xcb-xtest)"
  exit 77
fi

left=0xff51 up=0xff52 right=0xff53 down=0xff54

# Another client grabs KEYSYM and keeps it: prints its pid, or nothing when
# the key is already taken.
hold_key() {  # hold_key KEYSYM
  : >"$work/hold.out"
  "$xhelper" grab-key "$1" >>"$work/hold.out" 2>"$work/hold.err" &
  local pid=$!
  poll_until 5 grab_answered "$pid"
  grep -q grabbed "$work/hold.out" 2>/dev/null && { pids+=("$pid"); echo "$pid"; }
}
# Whether the client has said it holds the key, or has given up.
grab_answered() {  # grab_answered PID
  grep -q grabbed "$work/hold.out" 2>/dev/null || ! kill -0 "$1" 2>/dev/null
}
# Whether another client can grab each of the keys now.
keys_free() {  # keys_free KEYSYM...
  local answer=""
  for key in "$@"; do
    local pid
    pid=$(hold_key "$key")
    if [ -n "$pid" ]; then answer+="free "; kill "$pid"; wait "$pid" 2>/dev/null; else answer+="taken "; fi
  done
  echo "${answer% }"
}
pointer() {
  eval "$(xdotool getmouselocation --shell)"
  echo "$X,$Y"
}
# The current colour through the copy menu's hexadecimal notation.
hex() { copy_notation 2; }

e2e_start_x
convert -size 120x120 xc:'#3366CC' "$work/target.png"
e2e_show_picture "$work/target.png" pick-target 40 40
wait_picture_painted "$work/target.png"
target=$shown_window
eval "$(xwininfo -id "$target" | awk '/Absolute upper-left X/ {print "tx=" $4} /Absolute upper-left Y/ {print "ty=" $4}')"
e2e_start_program

# Left is another client's before the pick starts.
holder=$(hold_key $left)
check "another client holds Left" "yes" "$([ -n "$holder" ] && echo yes || echo no)"
start_pick
check "the keys another client can take during the pick" "taken taken taken" "$(keys_free $up $down $right)"
# Left goes to the other client; the Right after it shows that Left moved
# nothing.
xdotool mousemove "$((tx + 50))" "$((ty + 50))"
xdotool key Left Right
check_soon "the pointer after Left, which the pick could not take, and Right" "$((tx + 51)),$((ty + 50))" 5 pointer
xdotool key Down Down Up
check_soon "the pointer after Down, Down, Up" "$((tx + 51)),$((ty + 51))" 5 pointer
end_pick
check "the picked colour" "3366CC" "$(hex)"
check "the keys free after the pick" "free free free" "$(keys_free $up $down $right)"
kill "$holder"
wait "$holder" 2>/dev/null
# The server lets the grab go when it sees the other client's connection close.
check_soon "Left free once the other client has gone" "free" 5 keys_free $left

# Another client cannot take the pointer from a pick: the server refuses
# an active grab while the program holds one, and the pick goes on.
start_pick
check "another client's pointer grab during the pick" "refused" "$("$xhelper" grab-pointer)"
xdotool mousemove "$((tx + 20))" "$((ty + 20))"
xdotool key Right
check_soon "the pointer after Right, the pick still on" "$((tx + 21)),$((ty + 20))" 5 pointer
end_pick
check "the pointer grab once the pick is over" "grabbed" "$("$xhelper" grab-pointer)"

# The window manager minimises the window during a pick: the server ends
# the grab, the pick ends and gives its keys back.
if [ -n "$wm" ]; then
  start_pick
  xdotool mousemove 700 60
  xdotool windowminimize "$window"
  # The keys come free once the program has seen its grab end; a Right
  # pressed after that reaches no pick.
  check_soon "the keys free after the lost pick" "free free free free" 5 keys_free $up $down $left $right
  xdotool key Right
  check "the pointer after Right once the pick was lost" "700,60" "$(pointer)"
  xdotool mouseup 1
  xdotool windowactivate --sync "$window"
  wait_until 10 "the window shown again" window_painted
  # A new pick works as before.
  start_pick
  xdotool mousemove "$((tx + 60))" "$((ty + 60))"
  xdotool key Up
  check_soon "the pointer after Up in the next pick" "$((tx + 60)),$((ty + 59))" 5 pointer
  end_pick
  check "the colour of the next pick" "3366CC" "$(hex)"
fi

# Closing during a pick ends the program with 0.
start_pick
xdotool key Escape
e2e_expect_exit "Escape during a pick"
check "the keys free after the program ended" "free free free free" "$(keys_free $up $down $left $right)"

e2e_finish
