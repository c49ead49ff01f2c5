#!/usr/bin/env bash
# The Debian package holds exactly the expected files and declares its libraries' packages.
# Usage: package_test.sh <build folder> <source folder>
set -euo pipefail
build="$1" source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
deb="$(ls "$work"/qrv-dm500_*.deb)"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./||' | LC_ALL=C sort > "$work/contents.txt"
LC_ALL=C sort "$source/tests/package/expected_files.txt" > "$work/expected.txt"
diff -u "$work/expected.txt" "$work/contents.txt"

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for needed in libqt6widgets6 libavcodec libv4lconvert0 libudev1 libjpeg62-turbo; do
  grep -q "$needed" <<<"$depends" || { echo "missing dependency: $needed"; exit 1; }
done
dpkg-deb -I "$deb" postinst >/dev/null
grep -q "qt6-wayland" <<<"$(dpkg-deb -f "$deb" Recommends)" || { echo "Qt's Wayland plugin not recommended"; exit 1; }
# Debian's own checks: no errors (warnings are shown). Run as root, lintian says it would
# rather not be, and checks all the same.
lintian --fail-on error "$deb" | tee "$work/lintian.txt" || { echo "lintian reports errors"; exit 1; }
# Built with Debian's hardening flags: no hardening-no-bindnow, -no-fortify-functions, -no-relro.
if grep -q "hardening-no-" "$work/lintian.txt"; then echo "built without Debian's hardening flags"; exit 1; fi
echo "package: ok"
