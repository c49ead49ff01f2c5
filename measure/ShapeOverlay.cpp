#include "measure/ShapeOverlay.h"

#include <cmath>
#include <numbers>
#include <optional>

namespace {

const QString kRadiusCircle = QStringLiteral("Radius circle");
const QString kDiameterCircle = QStringLiteral("Diameter circle");
const QString kThreePointCircle = QStringLiteral("Three-point circle");
const QString kFourPointAngle = QStringLiteral("Four-point angle");
const QString kCaliper = QStringLiteral("Caliper");
const QString kCount = QStringLiteral("Count");

std::uint32_t ArgbOf(ColorRef colour)
{
    return 0xff000000u | ((colour & 0xffu) << 16) | (colour & 0xff00u) | ((colour >> 16) & 0xffu);
}

ColorRef ColorRefOf(std::uint32_t argb)
{
    return ((argb >> 16) & 0xffu) | (argb & 0xff00u) | ((argb & 0xffu) << 16);
}

OverlayShape OvalAround(QPointF centre, double radius, const QString& name)
{
    return {OverlayShape::Kind::Oval,
            {centre - QPointF(radius, radius), centre + QPointF(radius, radius)},
            name,
            {},
            0,
            0,
            0};
}

} // namespace

std::vector<OverlayShape> OverlayOfShapes(const std::vector<std::unique_ptr<MeasureShape>>& shapes,
                                          const ViewMapping& mapping)
{
    using K = OverlayShape::Kind;
    std::vector<OverlayShape> overlay;
    // The count's marks are one multi-point selection, in the order of their numbers, where
    // the first mark stood in the drawing order.
    std::optional<std::size_t> count;
    for (const auto& shape : shapes) {
        std::vector<QPointF> q;
        for (const QPoint& p : shape->points) q.push_back(mapping.ToPicture(p));
        OverlayShape out;
        switch (shape->kind) {
        case ShapeLine:
            if (q.size() < 2) continue;
            out = {K::Line, {q[0], q[1]}, QStringLiteral("Line"), {}, 0, 0, 0};
            break;
        case ShapeCaliper:
            // From edge to edge, as it measured.
            if (shape->found.size() < 2) continue;
            out = {
                K::Line, {mapping.ToPicture(shape->found[0]), mapping.ToPicture(shape->found[1])}, kCaliper, {}, 0, 0,
                0};
            break;
        case ShapeCountMark:
            if (q.empty()) continue;
            if (count) {
                overlay[*count].points.push_back(q[0]);
                continue;
            }
            count = overlay.size();
            out = {K::Points, {q[0]}, kCount, {}, 0, 0, 0};
            break;
        case ShapeContinuousLine:
            if (q.size() < 2) continue;
            out = {K::Polyline, q, QStringLiteral("Continuous line"), {}, 0, 0, 0};
            break;
        case ShapePolygon:
            if (q.size() < 3) continue;
            out = {K::Polygon, q, QStringLiteral("Polygon"), {}, 0, 0, 0};
            break;
        case ShapeAngle: // our vertex is the third point, ImageJ's the second
            if (q.size() < 3) continue;
            out = {K::Angle, {q[0], q[2], q[1]}, QStringLiteral("Angle"), {}, 0, 0, 0};
            break;
        case ShapeFourPointAngle:
            if (q.size() < 4) continue;
            out = {K::Polyline, {q[0], q[1], q[2], q[3]}, kFourPointAngle, {}, 0, 0, 0};
            break;
        case ShapeRectangle:
            if (q.size() < 2) continue;
            out = {K::Rectangle,
                   {QPointF(std::min(q[0].x(), q[1].x()), std::min(q[0].y(), q[1].y())),
                    QPointF(std::max(q[0].x(), q[1].x()), std::max(q[0].y(), q[1].y()))},
                   QStringLiteral("Rectangle"),
                   {},
                   0,
                   0,
                   0};
            break;
        case ShapeRadiusCircle:
            if (q.size() < 2) continue;
            out = OvalAround(q[0], std::hypot(q[1].x() - q[0].x(), q[1].y() - q[0].y()), kRadiusCircle);
            break;
        case ShapeDiameterCircle:
            if (q.size() < 2) continue;
            out = OvalAround((q[0] + q[1]) / 2, std::hypot(q[1].x() - q[0].x(), q[1].y() - q[0].y()) / 2,
                             kDiameterCircle);
            break;
        case ShapeThreePointCircle: {
            if (q.size() < 3) continue;
            // The circle through the picture's points, its centre not rounded to a pixel.
            const auto circle = ExactCircleThrough(q[0], q[1], q[2]);
            if (!circle) continue; // on one line
            out = OvalAround(circle->first, circle->second, kThreePointCircle);
            break;
        }
        case ShapeText:
            if (q.empty() || shape->labels.empty()) continue;
            out = {K::Text,
                   {q[0]},
                   QStringLiteral("Text"),
                   shape->labels.front(),
                   0,
                   0,
                   static_cast<int>(
                       std::lround(std::max(1, shape->textFont.pixelSize() > 0 ? shape->textFont.pixelSize()
                                                                               : shape->textFont.pointSize()) *
                                   mapping.scale))};
            break;
        }
        out.strokeArgb = ArgbOf(shape->kind == ShapeText ? shape->textColor : shape->penColor);
        out.strokeWidth = shape->penWidth;
        overlay.push_back(std::move(out));
    }
    return overlay;
}

std::vector<LoadedShape> ShapesOfOverlay(const std::vector<OverlayShape>& overlay, const ViewMapping& mapping)
{
    using K = OverlayShape::Kind;
    std::vector<LoadedShape> shapes;
    int marks = 0; // a count's marks are numbered on across several selections
    auto onView = [&](QPointF picture) { return mapping.ToView(picture).toPoint(); };
    for (const OverlayShape& in : overlay) {
        LoadedShape out;
        out.colour = in.strokeArgb ? ColorRefOf(in.strokeArgb) : 255;
        out.width = std::clamp(static_cast<int>(std::lround(in.strokeWidth)), 1, 20);
        const auto& q = in.points;
        switch (in.kind) {
        case K::Line:
            if (q.size() < 2) continue;
            out.kind = in.name == kCaliper ? ShapeCaliper : ShapeLine;
            out.points = {onView(q[0]), onView(q[1])};
            out.exactPoints = {mapping.ToView(q[0]), mapping.ToView(q[1])};
            out.pictureLength = std::hypot(q[1].x() - q[0].x(), q[1].y() - q[0].y());
            break;
        case K::Polyline:
            if (q.size() < 2) continue;
            out.kind = in.name == kFourPointAngle && q.size() == 4 ? ShapeFourPointAngle : ShapeContinuousLine;
            for (const QPointF& p : q) out.points.push_back(onView(p));
            break;
        case K::Polygon:
            if (q.size() < 3) continue;
            out.kind = ShapePolygon;
            for (const QPointF& p : q) out.points.push_back(onView(p));
            break;
        case K::Angle:
            if (q.size() < 3) continue;
            out.kind = ShapeAngle;
            out.points = {onView(q[0]), onView(q[2]), onView(q[1])};
            break;
        case K::Rectangle:
            if (q.size() < 2) continue;
            out.kind = ShapeRectangle;
            out.points = {onView(q[0]), onView(q[1])};
            break;
        case K::Oval: {
            if (q.size() < 2) continue;
            const QPointF centre = (q[0] + q[1]) / 2;
            const double rx = std::abs(q[1].x() - q[0].x()) / 2, ry = std::abs(q[1].y() - q[0].y()) / 2;
            if (std::abs(rx - ry) > std::max(1.0, 0.02 * rx)) {
                // An ellipse (ImageJ's): its outline as a polygon.
                out.kind = ShapePolygon;
                for (int i = 0; i < 36; ++i) {
                    const double t = 2 * std::numbers::pi * i / 36;
                    out.points.push_back(onView(centre + QPointF(rx * std::cos(t), ry * std::sin(t))));
                }
            } else if (in.name == kRadiusCircle) {
                out.kind = ShapeRadiusCircle;
                out.points = {onView(centre), onView(centre + QPointF(rx, 0))};
            } else if (in.name == kThreePointCircle) {
                out.kind = ShapeThreePointCircle;
                for (const double degrees : {90.0, 210.0, 330.0}) {
                    const double t = degrees * std::numbers::pi / 180;
                    out.points.push_back(onView(centre + QPointF(rx * std::cos(t), rx * std::sin(t))));
                }
            } else {
                out.kind = ShapeDiameterCircle;
                out.points = {onView(centre - QPointF(rx, 0)), onView(centre + QPointF(rx, 0))};
            }
            break;
        }
        case K::Text:
            if (q.empty() || in.text.isEmpty()) continue;
            out.kind = ShapeText;
            out.points = {onView(q[0])};
            out.text = in.text;
            break;
        case K::Points:
            // A count's marks (ImageJ's multi-point selection): each with its number.
            for (const QPointF& point : q) {
                LoadedShape mark = out;
                mark.kind = ShapeCountMark;
                mark.points = {onView(point)};
                mark.text = QString::number(++marks);
                shapes.push_back(std::move(mark));
            }
            continue;
        }
        shapes.push_back(std::move(out));
    }
    return shapes;
}
