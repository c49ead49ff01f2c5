#!/usr/bin/env bash
# The installed program: every file in its place, a valid desktop entry and AppStream
# description, texts found in the installed data folder, and a program that starts.
# Usage: install_test.sh <build folder> <source folder>
set -euo pipefail
build="$1" source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/usr" >/dev/null
(cd "$work" && find usr -type f | LC_ALL=C sort) > "$work/installed.txt"
LC_ALL=C sort "$source/tests/package/expected_files.txt" > "$work/expected.txt"
diff -u "$work/expected.txt" "$work/installed.txt"

desktop-file-validate --no-hints "$work/usr/share/applications/com.qrvoptics.dm500.desktop"
if command -v appstreamcli >/dev/null; then
  # With the network where it can be reached: every address it gives must exist.
  appstreamcli validate --pedantic "$work/usr/share/metainfo/com.qrvoptics.dm500.metainfo.xml" >/dev/null
fi
grep -q 'TAG+="uaccess"' "$work/usr/lib/udev/rules.d/70-qrv-dm500.rules"

# The installed program reads the system language's file from its data folder.
version="$(LANG=de_DE.UTF-8 LC_ALL= "$work/usr/bin/qrv-dm500" --version)"
echo "$version"
grep -qx "language file: $work/usr/share/qrv-dm500/German1252.ini" <<<"$version"
grep -qx "manual: $work/usr/share/qrv-dm500/QRV-DM500-EN.html" <<<"$version"

# It starts and runs until it is asked to end.
runtime="$(mktemp -d)" && chmod 700 "$runtime"
XDG_RUNTIME_DIR="$runtime" HOME="$work/home" QT_QPA_PLATFORM=offscreen QRV_NO_SOUND=1 \
  "$work/usr/bin/qrv-dm500" --simulate &
program=$!
sleep 3
kill -0 "$program"
kill -TERM "$program"
wait "$program"
rm -rf "$runtime"
echo "install tree: ok"
