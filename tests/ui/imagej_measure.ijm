// Prints what ImageJ finds in a TIFF: its scale, and each overlay shape's kind with its
// length (lines, polylines), area, angle or points, in the picture's unit.
open(getArgument());
getPixelSize(unit, pw, ph);
print("scale " + d2s(pw, 6) + " " + unit);
n = Overlay.size;
print("shapes " + n);
for (i = 0; i < n; i++) {
    Overlay.activateSelection(i);
    type = selectionType();
    List.setMeasurements;
    if (type == 5 || type == 6)
        print("shape " + i + " type " + type + " length " + d2s(List.getValue("Length"), 6));
    else if (type == 8)
        print("shape " + i + " type " + type + " angle " + d2s(List.getValue("Angle"), 4));
    else if (type == 10) {
        getSelectionCoordinates(xs, ys);
        print("shape " + i + " type " + type + " points " + xs.length + " first " + d2s(xs[0], 2) + " " + d2s(ys[0], 2));
    }
    else
        print("shape " + i + " type " + type + " area " + d2s(List.getValue("Area"), 4));
}
