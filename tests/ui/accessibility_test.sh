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
sleep 0.5

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$program" --simulate > "$work/program.log" 2>&1 &
pids+=($!)
window=""
for _ in $(seq 100); do
  window="$(xdotool search --name '^QRV-DM500$' 2>/dev/null | tail -1)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the main window did not appear"
sleep 1.5 # the simulated microscope's first frames
pictures="$HOME/Documents/QRV-DM500 files/Picture"
for n in 1 2; do
  xdotool windowfocus --sync "$window" 2>/dev/null; xdotool key F2
  for _ in $(seq 50); do [ "$(ls "$pictures" 2>/dev/null | grep -c '\.bmp$')" -ge "$n" ] && break; sleep 0.1; done
done
[ "$(ls "$pictures" | grep -c '\.bmp$')" -eq 2 ] || fail "two stills were not taken: $(ls "$pictures")"
sleep 0.5
/usr/bin/python3 "$here/accessibility_tree.py" 2 || fail "the accessibility tree"
echo "accessibility: ok"
