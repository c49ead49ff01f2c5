#!/usr/bin/env bash
# The main window under a real window manager (openbox in Xvfb): the title bar offers
# maximise, maximising shows the full-screen preview, Esc brings back the window where it
# was, a resize by the window manager snaps back to the skin's size, and a second copy
# brings the window forward without hiding a box open over it.
# Usage: window_manager_test.sh PROGRAM
set -uo pipefail
program="$1"
screen=1400x1000
source "$(dirname "$0")/xvfb_session.sh"
start_window_manager
# The window's log tells when it answered the window manager.
export QT_LOGGING_RULES="qrv.window.debug=true"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QRV_NO_SOUND=1 "$program" --simulate > "$work/program.log" 2>&1 &
pids+=($!)

window=""
for _ in $(seq 100); do
  window="$(xdotool search --name '^QRV-DM500$' 2>/dev/null | tail -1)"
  [ -n "$window" ] && xdotool getwindowgeometry "$window" 2>/dev/null | grep -q '868x580' && break
  sleep 0.1
done
[ -n "$window" ] || fail "the main window did not appear"

size() { xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p'; }
place() { xdotool getwindowgeometry "$window" | sed -n 's/.*Position: \([0-9,]*\).*/\1/p'; }
wait_for_size() {
  for _ in $(seq 50); do [ "$(size)" = "$1" ] && return 0; sleep 0.1; done
  return 1
}

xprop -id "$window" _NET_WM_ALLOWED_ACTIONS | grep -q _NET_WM_ACTION_MAXIMIZE_HORZ ||
  fail "the window manager offers no maximise: $(xprop -id "$window" _NET_WM_ALLOWED_ACTIONS)"
before="$(place)"

wmctrl -i -r "$window" -b add,maximized_vert,maximized_horz
wait_for_size 1400x1000 || fail "maximise did not give the full-screen preview (size $(size))"

xdotool key --window "$window" Escape
wait_for_size 868x580 || fail "Esc did not bring the window back (size $(size))"
at_place() { [ "$(place)" = "$before" ]; }
wait_for at_place || fail "the window came back at $(place), not $before"

wmctrl -i -r "$window" -e 0,-1,-1,1000,700
wait_for grep -q "from outside: the skin's size is put back" "$work/program.log" ||
  fail "the window did not see the window manager's resize"
wait_for_size 868x580 || fail "a resize by the window manager was kept (size $(size))"

# A box open over the window stays in front when a second copy brings the window forward.
xdotool mousemove --window "$window" 145 45 click 1 # E-Mail with nothing selected: a box
box=""
a_box_is_active() { box="$(xdotool getactivewindow 2>/dev/null)"; [ -n "$box" ] && [ "$box" != "$window" ]; }
wait_for a_box_is_active || fail "no message box came up"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QRV_NO_SOUND=1 timeout 20 "$program" --simulate > "$work/second.log" 2>&1 ||
  fail "the second copy did not end by itself"
wait_for grep -q "the window came forward" "$work/program.log" || fail "the window did not come forward"
box_viewable() { xwininfo -id "$box" | grep -q 'IsViewable'; }
wait_for box_viewable || fail "the box was hidden"
box_has_focus() { [ "$(xdotool getactivewindow)" = "$box" ]; }
wait_for box_has_focus || fail "the box lost the focus to $(xdotool getactivewindow)"

echo "2 passed, 0 failed"
