#pragma once
// Tiles cut from a real photograph as a hand sliding a sample would take them: a serpentine
// over a grid at a given overlap, each tile off the grid by a few pixels, darker at its
// corners (the lamp's vignette), at its own exposure, with sensor noise and JPEG's
// artefacts. The truth (each tile's top-left in the photograph) is kept for the tests.

#include <QImage>
#include <QPoint>
#include <QString>

#include <vector>

struct RealTile {
    QImage picture;
    QPoint truth; // top-left in the photograph
};

struct TileOptions {
    int columns = 4, rows = 3;
    QSize tile{400, 300};
    double overlap = 0.3;   // share of a tile shared with the next across or down
    int jitter = 8;         // pixels off the grid, at most, each way
    double vignette = 0.3;  // the corners this much darker than the middle
    double exposure = 0.12; // each tile's brightness off by up to this share
    double noise = 2.5;     // grey levels (standard deviation)
    int jpegQuality = 85;   // 0: no JPEG
    unsigned seed = 1;
};

// The photograph (from tests/data/photos) enlarged, where needed, to hold the whole grid.
QImage RealPhotograph(const QString& name);

std::vector<RealTile> CutTiles(const QImage& photograph, const TileOptions& options);
