#include "measure/ShapeRenderer.h"

#include "measure/MeasureGeometry.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

QPen PenFor(int style, int width, ColorRef colour)
{
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                          Qt::DashDotDotLine};
    const Qt::PenStyle penStyle = style >= 0 && style <= 4 ? styles[style] : Qt::SolidLine;
    QPen pen(ToQColor(colour), std::max(1, width), penStyle, Qt::FlatCap, Qt::MiterJoin);
    if (width <= 1) pen.setWidth(0); // cosmetic one-pixel pen
    return pen;
}

QRect RectangleBetween(QPoint a, QPoint b)
{
    // From the smaller to the larger corner whichever way it was dragged; a one-pixel pen
    // strokes one pixel beyond the rectangle, so the outline runs through both corners.
    // (QRect::normalized() would shrink a reversed one by a pixel on each side.)
    const QPoint topLeft(std::min(a.x(), b.x()), std::min(a.y(), b.y()));
    const QPoint bottomRight(std::max(a.x(), b.x()), std::max(a.y(), b.y()));
    return QRect(topLeft, bottomRight - QPoint(1, 1));
}

QFont DefaultLabelFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    return font;
}

namespace {

void DrawLabel(QPainter& painter, const QString& text, QPoint topLeft, const QFont& font, ColorRef colour)
{
    if (text.isEmpty()) return;
    painter.setFont(font);
    painter.setPen(ToQColor(colour));
    // A text of several lines is drawn as one line.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    painter.drawText(topLeft.x(), topLeft.y() + QFontMetrics(font).ascent(), line);
}

void DrawCircle(QPainter& painter, QPoint centre, int radius)
{
    // The bounding box (x - r, y - r) to (x + r, y + r), right and bottom exclusive.
    if (radius <= 0) return;
    painter.drawEllipse(QRect(centre.x() - radius, centre.y() - radius, 2 * radius - 1, 2 * radius - 1));
}

// A one-pixel pen with flat caps leaves the last pixel out, as the platform's lines do.
void Segment(QPainter& painter, QPoint a, QPoint b)
{
    if (a != b) painter.drawLine(a, b);
}

} // namespace

void DrawShape(QPainter& painter, const MeasureShape& shape, const CoordinateMap& map)
{
    const auto& v = shape.points;
    std::vector<QPoint> p;
    p.reserve(v.size());
    for (const QPoint& point : v) p.push_back(map.Map(point));
    // Labels of one shape stand a line apart, so they never touch.
    const QPoint below(0, QFontMetrics(shape.labelFont).height() + 1);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    if (shape.kind != ShapeText) painter.setPen(PenFor(shape.penStyle, shape.penWidth, shape.penColor));
    // Label points, in label order.
    std::vector<QPoint> labelAt;
    switch (shape.kind) {
    case ShapeText:
        if (!p.empty() && !shape.labels.empty())
            DrawLabel(painter, shape.labels[0], p[0], shape.textFont, shape.textColor);
        painter.restore();
        return;
    case ShapeLine:
        if (p.size() < 2) break;
        Segment(painter, p[0], p[1]);
        labelAt = {map.Map(MidpointDiv2(v[0], v[1]))};
        break;
    case ShapeCaliper: {
        if (p.size() < 2) break;
        Segment(painter, p[0], p[1]);
        // Where it found the edges: a short bar across the line at each.
        const QPointF d = QPointF(p[1] - p[0]);
        const double length = std::hypot(d.x(), d.y());
        const QPointF across = length > 0 ? QPointF(-d.y(), d.x()) / length * (6 + 2 * shape.penWidth) : QPointF();
        for (const QPointF& edge : shape.found) {
            const QPointF at = map.mapping.ToPicture(edge);
            painter.drawLine(at - across, at + across);
        }
        labelAt = {map.Map(MidpointDiv2(v[0], v[1]))};
        break;
    }
    case ShapeCountMark:
        if (p.empty()) break;
        // A small cross with its number beside it.
        painter.drawLine(p[0] - QPoint(5, 0), p[0] + QPoint(6, 0));
        painter.drawLine(p[0] - QPoint(0, 5), p[0] + QPoint(0, 6));
        labelAt = {p[0] + QPoint(5, 3)};
        break;
    case ShapeContinuousLine:
        for (std::size_t i = 0; i + 1 < p.size(); ++i) {
            Segment(painter, p[i], p[i + 1]);
            labelAt.push_back(map.Map(MidpointDiv2(v[i], v[i + 1])));
        }
        break;
    case ShapePolygon:
        if (p.empty()) break;
        // An edge ending on the left column or the top row is left out, as the program
        // always drew it; the closing edge is always drawn.
        for (std::size_t i = 0; i + 1 < p.size(); ++i)
            if (p[i + 1].x() != 0 && p[i + 1].y() != 0) Segment(painter, p[i], p[i + 1]);
        if (p.size() > 1) Segment(painter, p.back(), p.front());
        labelAt = {p.back()};
        break;
    case ShapeAngle:
        if (p.size() < 3) break;
        Segment(painter, p[0], p[2]);
        Segment(painter, p[2], p[1]);
        labelAt = {p[2]};
        break;
    case ShapeRadiusCircle:
        if (p.size() < 2) break;
        DrawCircle(painter, p[0], TruncatedLength(p[0], p[1]));
        labelAt = {p[0], p[0] + below};
        break;
    case ShapeDiameterCircle: {
        if (p.size() < 2) break;
        const QPoint centre = MidpointDiv2(p[0], p[1]);
        DrawCircle(painter, centre, TruncatedLength(p[0], p[1]) / 2);
        const QPoint first = map.Map(MidpointDiv2(v[0], v[1]));
        labelAt = {first, first + below};
        break;
    }
    case ShapeRectangle: {
        if (p.size() < 2) break;
        painter.drawRect(RectangleBetween(p[0], p[1]));
        const QPoint first = map.Map(MidpointDiv2(v[0], v[1]));
        labelAt = {first, first + below, first + 2 * below};
        break;
    }
    case ShapeThreePointCircle: {
        if (p.size() < 3) break;
        const auto circle = map.saving
                                ? CircleThroughThreePoints(map.MapReal(v[0]), map.MapReal(v[1]), map.MapReal(v[2]))
                                : CircleThroughThreePoints(v[0], v[1], v[2]);
        if (!circle) break;
        DrawCircle(painter, circle->centre, circle->drawnRadius);
        labelAt = {circle->centre, circle->centre + below};
        break;
    }
    case ShapeFourPointAngle:
        if (p.size() < 4) break;
        Segment(painter, p[0], p[1]);
        Segment(painter, p[2], p[3]);
        labelAt = {MidpointDiv2(MidpointDiv2(p[0], p[1]), MidpointDiv2(p[2], p[3]))};
        break;
    }
    for (std::size_t i = 0; i < labelAt.size() && i < shape.labels.size(); ++i)
        DrawLabel(painter, shape.labels[i], labelAt[i], shape.labelFont, shape.labelColor);
    painter.restore();
}
