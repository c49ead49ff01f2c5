// Prints what ImageJ reads from a height TIFF: its depth, its pixel size and unit, and the
// heights at the block, the floor and the unknown corner of the test's map.
open(getArgument());
print("bits " + bitDepth());
getPixelSize(unit, pw, ph);
print("pixel " + d2s(pw, 6));
print("unit " + unit);
print("block " + d2s(getPixel(100, 80), 4));
print("floor " + d2s(getPixel(170, 140), 4));
print("unknown " + getPixel(5, 5));
