#pragma once
// The one reader of the names the program gives its stills: "Still_2009-05-14_153045_200X_N0007.bmp",
// and the all-in-focus and mosaic ones with their tag ("..._200X_EDF_N0009.tif",
// "..._200X_MOS_N0010.png"). Every part that reads a magnification back from a name (Photo
// Measure, the list, Save as, the command line) asks here.

#include <QString>

// The magnification a still's name carries ("_200X_" before its running number, or before
// a tag and the running number); 0 when it carries none.
int MagnificationInName(const QString& path);
