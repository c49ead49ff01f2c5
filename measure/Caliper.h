#pragma once
// The caliper: the distance between two edges that a line drawn across them crosses, found
// to a fraction of a pixel, so a wire, a hair or the divisions of a stage micrometer are
// measured without aiming at single pixels. The grey profile along the line (averaged over a
// narrow band across it) gives the edges at the peaks of its slope, each fitted between
// samples; the distance is taken across the edges (along their normal), so a line drawn a
// little askew reads the same. Plain C++ over a picture, any thread.

#include <QImage>
#include <QPointF>

#include <optional>
#include <vector>

struct CaliperEdge {
    double along = 0; // pixels from the line's start
    QPointF at;       // on the picture
    int polarity = 0; // +1 the picture gets brighter along the line, -1 darker
    double slope = 0; // grey levels a pixel
};

struct CaliperReading {
    QPointF from, to;               // the two edges measured between
    double pixels = 0;              // their distance across the edges
    std::vector<CaliperEdge> edges; // every edge found along the line
};

// Between the first edge and the last edge of the same kind when the line crosses several
// alike features (division lines: from the first one's near edge to the last one's, a whole
// number of divisions); otherwise between the first and the last edge (a wire's width).
// None when the line crosses fewer than two edges.
std::optional<CaliperReading> MeasureWithCaliper(const QImage& picture, QPointF start, QPointF end);
