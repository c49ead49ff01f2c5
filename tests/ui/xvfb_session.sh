# Sourced by the window tests: a work folder, an Xvfb display of "$screen" (DISPLAY set),
# a home and runtime folder of their own, `pids` killed and the folder removed at exit, and
# `fail` that prints the program's log.
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
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"
unset QT_QPA_PLATFORM
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
