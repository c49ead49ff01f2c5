#!/usr/bin/env bash
# The program shares its live picture (--share) and a real browser watches it: see
# share_browser.py. Also ffprobe reads the live stream as Motion JPEG at the capture size.
# Usage: share_browser_test.sh PROGRAM
set -uo pipefail
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"
screen=1280x1024
source "$here/xvfb_session.sh"
[ -x /usr/bin/chromium ] && [ -x /usr/bin/chromedriver ] ||
  fail "chromium and chromium-driver are not installed (scripts/setup installs them)"
start_window_manager
port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QRV_NO_SOUND=1 \
  "$program" --simulate=sweep --share="$port" > "$work/share.out" 2> "$work/program.log" &
pids+=($!)
wait_for grep -q '^sharing ' "$work/share.out" || fail "the program did not say it is sharing"
read -r _ url _ code < "$work/share.out"
echo "program: sharing $url code $code"
[[ "$url" =~ ^http://[^/]+:$port/$ ]] || fail "the address $url is not at port $port"
wait_for xdotool search --name 'QRV-DM500' > /dev/null || fail "no window"
window="$(xdotool search --name 'QRV-DM500' | head -1)"

# ffprobe reads the stream.
timeout 5 curl -s -o "$work/live.mjpg" "http://127.0.0.1:$port/live?code=$code"
probe="$(ffprobe -v error -f mpjpeg -show_entries stream=codec_name,width,height -of csv=p=0 "$work/live.mjpg")"
echo "ffprobe: $probe"
[ "$probe" = "mjpeg,1280,1024" ] || fail "ffprobe reads the live stream as '$probe'"

/usr/bin/python3 "$here/share_browser.py" "$port" "$code" "$work/home" \
  "xdotool windowactivate --sync $window key F2 || xdotool key --window $window F2" || fail "the browser test"
echo "share: ok"
