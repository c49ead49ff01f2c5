#!/usr/bin/env bash
# ImageJ (Debian's imagej, under Xvfb) reads the overlay and the scale the program writes:
# a TIFF saved by ImageJ with a line, an oval, a polygon, an angle and points goes through
# `--convert` to a TIFF of ours, and ImageJ finds the same shapes with the same lengths,
# areas and angles in microns in both.
# Usage: imagej_test.sh PROGRAM DATA_DIR
set -uo pipefail
program="$1"
data="$2"
here="$(cd "$(dirname "$0")" && pwd)"
screen=1024x768
source "$here/xvfb_session.sh"
jar=/usr/share/java/ij.jar
[ -r "$jar" ] || fail "ImageJ is not installed (scripts/setup installs the imagej package)"

cp "$data/imagej_overlay.tif" "$work/imagej.tif"
HOME="$work/home" "$program" --convert "$work/ours.tif" "$work/imagej.tif" > "$work/program.log" 2>&1 ||
  fail "--convert failed"
measure() { HOME="$work/home" timeout 60 java -jar "$jar" -batch "$here/imagej_measure.ijm" "$1" 2> "$work/imagej.log"; }
theirs="$(measure "$work/imagej.tif")"
ours="$(measure "$work/ours.tif")"
echo "ImageJ's file:"; echo "$theirs"
echo "ours:"; echo "$ours"
[ "$(echo "$ours" | grep -c '^shape ')" -eq 5 ] || fail "ImageJ found $(echo "$ours" | grep -c '^shape ') shapes in ours, not 5"
# Every figure within 0.1 % of ImageJ's own.
paste <(echo "$theirs" | grep '^shape') <(echo "$ours" | grep '^shape') | awk -F'\t' '
  { n = split($1, a, " "); split($2, b, " ");
    if (n != split($2, c, " ")) { print "differs: " $0; bad = 1; next }
    for (i = 1; i <= n; i++) {
      if (a[i] ~ /^-?[0-9.]+$/) {
        if (a[i] + 0 == 0 ? b[i] + 0 != 0 : (b[i] - a[i]) / a[i] > 0.001 || (a[i] - b[i]) / a[i] > 0.001) { print "differs: " $0; bad = 1 }
      } else if (a[i] != b[i]) { print "differs: " $0; bad = 1 }
    } }
  END { exit bad }' || fail "ImageJ measures our TIFF otherwise"
grep -Eq '^scale 0.500000 (µm|microns?)$' <<< "$ours" || fail "ImageJ did not read 0.5 micron a pixel"
echo "imagej: ok"
