#pragma once
// What a viewer's page draws over the live picture: the frame's size, the magnification, the
// scale (for the scale bar) and the teacher's live measurements, in capture pixels.

#include <QByteArray>
#include <QPointF>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

struct LiveInfo {
    QSize frame;
    int magnification = 0;
    double millimetresPerPixel = 0; // 0: no scale, no bar
    bool micrometres = true;
    bool nominal = false;
    struct Shape {
        QString kind; // "line", "caliper", "angle", "circle", "count"
        std::vector<QPointF> points;
        QString label;
        std::optional<QPointF> centre; // a circle's
        double radius = 0;
    };
    std::vector<Shape> shapes;
};

QByteArray LiveInfoJson(const LiveInfo& info);
