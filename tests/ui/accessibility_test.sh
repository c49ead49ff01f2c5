#!/usr/bin/env bash
# The main window as a screen reader sees it (AT-SPI, in Xvfb with its own session bus):
# after two stills, tests/ui/accessibility_tree.py walks the tree.
# Usage: accessibility_test.sh PROGRAM
set -uo pipefail
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"
screen=1280x1000
source "$(dirname "$0")/xvfb_session.sh"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QRV_NO_SOUND=1 LANG=C.UTF-8 LC_ALL=

# The session bus and the accessibility bus, as a desktop session has them.
eval "$(dbus-launch --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")
/usr/libexec/at-spi-bus-launcher --launch-immediately > "$work/atspi.log" 2>&1 &
pids+=($!)
wait_for dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress > /dev/null 2>&1 ||
  fail "the accessibility bus did not start"

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$program" --simulate > "$work/program.log" 2>&1 &
pids+=($!)
window=""
found_window() { window="$(xdotool search --name '^QRV-DM500$' 2>/dev/null | tail -1)"; [ -n "$window" ]; }
wait_for found_window || fail "the main window did not appear"
pictures="$HOME/Documents/QRV-DM500 files/Picture"
stills() { ls "$pictures" 2>/dev/null | grep -c '\.bmp$'; }
# A key counts once the window system has made the window active; a press that came before
# is pressed again.
for n in 1 2; do
  has_stills() { [ "$(stills)" -ge "$n" ]; }
  for _ in $(seq 5); do
    xdotool windowfocus --sync "$window" 2>/dev/null; xdotool key F2
    wait_for has_stills && break
  done
done
taken="$(stills)"
[ "$taken" -ge 2 ] || fail "two stills were not taken: $(ls "$pictures")"
# The tree, once the list shows both (the last walk's findings are shown).
for _ in $(seq 10); do
  /usr/bin/python3 "$here/accessibility_tree.py" "$taken" > "$work/tree.log" 2>&1
  status=$?
  [ "$status" -eq 0 ] && break
done
cat "$work/tree.log"
[ "$status" -eq 0 ] || fail "the accessibility tree"
echo "accessibility: ok"
