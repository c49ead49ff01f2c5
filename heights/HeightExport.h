#pragma once
// A height map leaves the program as a 32-bit TIFF that ImageJ reads (heights in µm,
// calibrated across in µm a pixel, NaN where unknown) and as a mesh for 3D programs and
// printers: PLY with the picture's colours, or STL, by the name's extension. Unknown heights
// leave holes in the mesh. Every file is written whole or not at all.

#include "processing/HeightMap.h"

#include <QImage>
#include <QString>

bool WriteHeightTiff(const QString& path, const HeightMap& map, QString* error);

// `colours`: the all-in-focus picture (PLY's vertex colours); a grid at most `largestSide`
// vertices across (a mesh of every pixel would be larger than any printer needs).
bool WriteHeightMesh(const QString& path, const HeightMap& map, const QImage& colours, QString* error,
                     int largestSide = 640);

// Whether the name is one a mesh can be written as (.ply or .stl).
bool IsMeshName(const QString& path);
