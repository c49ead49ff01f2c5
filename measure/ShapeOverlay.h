#pragma once
// Photo Measure's shapes as a picture file's overlay, and back: each shape in the picture's
// own pixels, as ImageJ knows it (a line, a polyline, a polygon, an angle, a rectangle, an
// oval, a text, a count's points), named by the kind of ours it was so that it comes back as that kind.

#include "measure/MeasureGeometry.h"
#include "measure/MeasureShape.h"
#include "media/PictureMetadata.h"

#include <memory>
#include <vector>

std::vector<OverlayShape> OverlayOfShapes(const std::vector<std::unique_ptr<MeasureShape>>& shapes,
                                          const ViewMapping& mapping);

// A shape of an overlay on the view: its kind, points and colour; a text's words or a mark's
// number; a line's exact ends and length on the picture (a caliper's edges).
struct LoadedShape {
    ShapeKind kind = ShapeLine;
    std::vector<QPoint> points;
    std::vector<QPointF> exactPoints;
    double pictureLength = 0;
    QString text;
    ColorRef colour = 255;
    int width = 1;
};
// The overlay's shapes as Photo Measure shows them (a multi-point selection as a count's marks).
std::vector<LoadedShape> ShapesOfOverlay(const std::vector<OverlayShape>& overlay, const ViewMapping& mapping);
