#pragma once
// Draws shapes and their labels, on the view (view coordinates) or on the picture being
// saved (each view coordinate mapped onto the picture, truncated).

#include "measure/MeasureGeometry.h"
#include "measure/MeasureShape.h"

#include <QPen>
#include <QRect>

class QPainter;

struct CoordinateMap {
    ViewMapping mapping; // identity: drawing on the view itself
    bool saving = false; // the three-point circle uses real halves on the saved picture

    QPoint Map(QPoint view) const
    {
        const QPointF p = mapping.ToPicture(view);
        return QPoint(static_cast<int>(p.x()), static_cast<int>(p.y()));
    }
    QPointF MapReal(QPoint view) const { return mapping.ToPicture(view); }
};

QPen PenFor(int style, int width, ColorRef colour);

// The default face of labels and texts: KaiTi when the machine has it, else a face with
// the same glyphs.
QFont DefaultLabelFont();

// The rectangle to stroke for one dragged from corner `a` to corner `b`: the same for every
// drag direction, its outline through both corners.
QRect RectangleBetween(QPoint a, QPoint b);

void DrawShape(QPainter& painter, const MeasureShape& shape, const CoordinateMap& map);
