#!/usr/bin/env bash
# The program streams its live picture to a real streaming server: Debian's nginx with its
# RTMP module, HLS on. ffprobe reads the HLS playlist's segments at the capture size with
# about ten seconds of video; the server stopped and started again, the stream comes back by
# itself.
# Usage: stream_rtmp_test.sh PROGRAM
set -uo pipefail
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"
screen=1280x1024
source "$here/xvfb_session.sh"
module=/usr/lib/nginx/modules/ngx_rtmp_module.so
[ -x /usr/sbin/nginx ] && [ -r "$module" ] || fail "nginx and libnginx-mod-rtmp are not installed (scripts/setup)"
port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')"
mkdir -p "$work/nginx/logs" "$work/hls"
cat > "$work/nginx/nginx.conf" <<CONF
load_module $module;
daemon off;
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log info;
events { worker_connections 64; }
rtmp {
  server {
    listen 127.0.0.1:$port;
    application live {
      live on;
      hls on;
      hls_path $work/hls;
      hls_fragment 2s;
      hls_playlist_length 60s;
      hls_cleanup off;
    }
  }
}
CONF
start_nginx() {
  /usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" > "$work/nginx/logs/stdout.log" 2>&1 &
  nginx_pid=$!
  pids+=($nginx_pid)
  wait_for bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2> /dev/null || fail "nginx did not listen"
}
start_nginx

HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QRV_NO_SOUND=1 QT_LOGGING_RULES="qrv.sharing.info=true;qrv.sharing.warning=true" \
  "$program" --simulate=sweep --stream="rtmp://127.0.0.1:$port/live/lesson" > "$work/program.log" 2>&1 &
pids+=($!)
playlist="$work/hls/lesson.m3u8"
# Ten seconds of video, and a little for the last segment to close.
for _ in $(seq 300); do
  seconds="$(awk -F'[:,]' '/^#EXTINF/ { s += $2 } END { printf "%d", s }' "$playlist" 2> /dev/null)"
  [ "${seconds:-0}" -ge 10 ] && break
  sleep 0.1
done
cat "$playlist" 2> /dev/null | head -20
[ "${seconds:-0}" -ge 10 ] || fail "the playlist holds ${seconds:-0} s of video after 30 s"
# (ffprobe keeps waiting on a live playlist: the segments are read instead.)
first="$work/hls/$(grep -v '^#' "$playlist" | head -1)"
probe="$(timeout 20 ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 "$first" | head -1)"
# The video in the segments, as ffprobe reads each.
duration=0
for segment in $(grep -v '^#' "$playlist"); do
  d="$(timeout 20 ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/hls/$segment")"
  duration="$(awk -v a="$duration" -v b="$d" 'BEGIN { print a + b }')"
done
echo "ffprobe: $probe, $duration s in the segments"
[ "$probe" = "h264,1280,1024" ] || fail "ffprobe reads the stream as '$probe'"
# A slow build on a busy machine sends a frame or two a second, and ffprobe counts each segment
# from its first frame to its last (5.4-5.7 s of the playlist's 12 under AddressSanitizer beside
# another test run): at least a quarter of the ten seconds, and no more than the clock allows.
awk -v d="$duration" 'BEGIN { exit !(d >= 2.5 && d <= 40) }' || fail "the segments hold $duration s of video"

# The server goes away and comes back: the stream resumes by itself.
kill "$nginx_pid"; wait "$nginx_pid" 2> /dev/null
rm -rf "$work/hls"; mkdir -p "$work/hls"
wait_for grep -q "stream dropped" "$work/program.log" || { ps aux | grep -c "[q]rv-dm500"; tail -5 "$work/program.log"; cat "$work/nginx/logs/error.log" | tail -5; fail "the program did not notice the server going"; }
start_nginx
for _ in $(seq 300); do
  [ -s "$playlist" ] && grep -q '^#EXTINF' "$playlist" && break
  sleep 0.1
done
grep -q '^#EXTINF' "$playlist" 2> /dev/null || fail "the stream did not come back within 30 s"
first="$work/hls/$(grep -v '^#' "$playlist" | head -1)"
probe="$(timeout 20 ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 "$first" | head -1)"
[ "$probe" = "h264,1280,1024" ] || fail "after the restart ffprobe reads '$probe'"
grep "qrv.sharing" "$work/program.log" | head -5
# The address that streamed is offered next time, readable by the user alone (it holds the key).
kept="$(find "$work/home" -name stream.txt | head -1)"
[ -n "$kept" ] || fail "the stream's address was not kept"
[ "$(cat "$kept")" = "rtmp://127.0.0.1:$port/live/lesson" ] || fail "kept '$(cat "$kept")'"
[ "$(stat -c %a "$kept")" = 600 ] || fail "the kept address is readable by others ($(stat -c %a "$kept"))"
echo "stream: ok"
