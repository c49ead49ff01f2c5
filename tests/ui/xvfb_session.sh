# Sourced by the window tests: a work folder, an Xvfb display of "$screen" (DISPLAY set),
# a home and runtime folder of their own, `pids` killed and the folder removed at exit, and
# `fail` that prints the program's log, `wait_for` that waits for a condition, and
# `start_window_manager` that starts openbox on the display.
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  head -40 "$work/program.log" 2>/dev/null
  exit 1
}
# Runs the command until it succeeds, for up to ten seconds; its status is the last run's.
wait_for() {
  for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
  return 1
}
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"
unset QT_QPA_PLATFORM
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
# Openbox on the display, with a home of its own. On a machine busy with other window tests the
# display may not take connections yet when openbox starts (it then ends at once: "Failed to
# open the display"), so the display is waited for and openbox started again if it ended;
# thirty seconds in all.
start_window_manager() {
  local openbox_pid=""
  for _ in $(seq 300); do
    if wmctrl -m > /dev/null 2>&1; then return 0; fi
    if xprop -root > /dev/null 2>&1 && { [ -z "$openbox_pid" ] || ! kill -0 "$openbox_pid" 2>/dev/null; }; then
      HOME="$work/home" openbox >> "$work/openbox.log" 2>&1 &
      openbox_pid=$!
      pids+=("$openbox_pid")
    fi
    sleep 0.1
  done
  echo "FAILED: openbox did not start"
  cat "$work/openbox.log"
  exit 1
}
