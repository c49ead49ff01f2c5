#include "measure/LiveMeasurement.h"

#include "framework/LangText.h"
#include "measure/MeasureGeometry.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

const QColor kShapeColour(255, 230, 0);
const QColor kEdgeColour(0, 220, 255);

std::size_t PointsOf(LiveMeasurement::Tool tool)
{
    return tool == LiveMeasurement::Tool::Circle || tool == LiveMeasurement::Tool::Angle ? 3 : 2;
}

std::optional<std::pair<QPointF, double>> CircleThrough(const std::vector<QPointF>& p)
{
    return ExactCircleThrough(p[0], p[1], p[2]);
}

// The angle at the middle point, in degrees.
double DegreesAt(const std::vector<QPointF>& p)
{
    const QPointF u = p[0] - p[1], v = p[2] - p[1];
    return std::abs(std::atan2(u.x() * v.y() - u.y() * v.x(), u.x() * v.x() + u.y() * v.y())) * 180 / std::numbers::pi;
}

} // namespace

void LiveMeasurement::SetTool(Tool tool)
{
    tool_ = tool;
    pending_.clear();
}

bool LiveMeasurement::Click(QPointF point, QSize frameSize, const QImage& frame)
{
    if (tool_ == Tool::None || frameSize.isEmpty()) return false;
    if (frameSize_ != frameSize) FollowCaptureSize(frameSize);
    if (tool_ == Tool::Count) {
        if (!CountShape()) shapes_.push_back({Tool::Count, {}, std::nullopt});
        for (Shape& shape : shapes_)
            if (shape.kind == Tool::Count) shape.points.push_back(point);
        return true;
    }
    pending_.push_back(point);
    if (pending_.size() < PointsOf(tool_)) return true;
    Shape shape{tool_, pending_, std::nullopt};
    pending_.clear();
    if (tool_ == Tool::Caliper) shape.caliper = MeasureWithCaliper(frame, shape.points[0], shape.points[1]);
    shapes_.push_back(std::move(shape));
    return true;
}

void LiveMeasurement::Remeasure(const QImage& frame)
{
    if (frame.size() != frameSize_) return;
    for (Shape& shape : shapes_)
        if (shape.kind == Tool::Caliper) shape.caliper = MeasureWithCaliper(frame, shape.points[0], shape.points[1]);
}

void LiveMeasurement::Clear()
{
    shapes_.clear();
    pending_.clear();
}

void LiveMeasurement::FollowCaptureSize(QSize frameSize)
{
    if (!frameSize_.isEmpty() && !frameSize.isEmpty() && frameSize != frameSize_) {
        const double sx = static_cast<double>(frameSize.width()) / frameSize_.width();
        const double sy = static_cast<double>(frameSize.height()) / frameSize_.height();
        auto scaled = [&](QPointF p) { return QPointF(p.x() * sx, p.y() * sy); };
        for (Shape& shape : shapes_) {
            for (QPointF& p : shape.points) p = scaled(p);
            shape.caliper.reset(); // measured again on the next frame
        }
        for (QPointF& p : pending_) p = scaled(p);
    }
    frameSize_ = frameSize;
}

QString LiveMeasurement::LengthText(double pixels, const LiveScale& scale)
{
    if (scale.millimetresPerPixel <= 0) return QStringLiteral("%1 px").arg(pixels, 0, 'f', 1);
    const double millimetres = pixels * scale.millimetresPerPixel;
    const QString text = scale.micrometres ? QStringLiteral("%1 \u00b5m").arg(millimetres * 1000, 0, 'f', 1)
                                           : QStringLiteral("%1 mm").arg(millimetres, 0, 'f', 3);
    return scale.nominal
               ? text + QStringLiteral(" (") + LangText("ScaleNominal", 30, "nominal scale") + QLatin1Char(')')
               : text;
}

QString LiveMeasurement::LabelOf(const Shape& shape, const LiveScale& scale) const
{
    switch (shape.kind) {
    case Tool::Line:
        return LengthText(
            std::hypot(shape.points[1].x() - shape.points[0].x(), shape.points[1].y() - shape.points[0].y()), scale);
    case Tool::Caliper:
        return shape.caliper ? LengthText(shape.caliper->pixels, scale) : LangText("LiveNoEdges", 30, "no edges");
    case Tool::Circle: {
        const auto circle = CircleThrough(shape.points);
        return circle ? QStringLiteral("\u2300 ") + LengthText(2 * circle->second, scale)
                      : LangText("LiveOnOneLine", 30, "on one line");
    }
    case Tool::Angle: return QStringLiteral("%1\u00b0").arg(DegreesAt(shape.points), 0, 'f', 1);
    case Tool::Count: return QString::number(shape.points.size());
    case Tool::None: break;
    }
    return {};
}

const LiveMeasurement::Shape* LiveMeasurement::CountShape() const
{
    const auto count =
        std::find_if(shapes_.begin(), shapes_.end(), [](const Shape& s) { return s.kind == Tool::Count; });
    return count == shapes_.end() ? nullptr : &*count;
}

QString LiveMeasurement::CountReadout(const LiveScale& scale) const
{
    const Shape* count = CountShape();
    const std::size_t marks = count ? count->points.size() : 0;
    QString text = QStringLiteral("%1 ").arg(marks) + LangText("LiveMarks", 30, "marks");
    if (scale.millimetresPerPixel > 0 && !frameSize_.isEmpty()) {
        const double area =
            frameSize_.width() * frameSize_.height() * scale.millimetresPerPixel * scale.millimetresPerPixel;
        text += QStringLiteral(", %1 ").arg(static_cast<double>(marks) / area, 0, 'f', 1) +
                LangText("LivePer", 30, "per") + QStringLiteral(" mm\u00b2");
    }
    return text;
}

void LiveMeasurement::Draw(QPainter& painter, const QRect& area, const LiveScale& scale) const
{
    if (frameSize_.isEmpty() || (shapes_.empty() && pending_.empty())) return;
    const double sx = static_cast<double>(area.width()) / frameSize_.width();
    const double sy = static_cast<double>(area.height()) / frameSize_.height();
    auto onView = [&](QPointF p) { return QPointF(area.left() + p.x() * sx, area.top() + p.y() * sy); };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    auto label = [&](QPointF at, const QString& text) {
        const QRectF box =
            QRectF(painter.fontMetrics().boundingRect(text)).adjusted(-3, -1, 3, 1).translated(at + QPointF(6, -6));
        painter.fillRect(box, QColor(0, 0, 0, 150));
        painter.setPen(kShapeColour);
        painter.drawText(box, Qt::AlignCenter, text);
    };
    for (const QPointF& p : pending_) {
        painter.setPen(QPen(kShapeColour, 2));
        painter.drawEllipse(onView(p), 3, 3);
    }
    for (const Shape& shape : shapes_) {
        painter.setPen(QPen(kShapeColour, 2));
        if (shape.kind == Tool::Count) {
            for (std::size_t i = 0; i < shape.points.size(); ++i) {
                const QPointF at = onView(shape.points[i]);
                painter.setPen(QPen(kShapeColour, 2));
                painter.drawLine(at - QPointF(5, 0), at + QPointF(5, 0));
                painter.drawLine(at - QPointF(0, 5), at + QPointF(0, 5));
                label(at, QString::number(i + 1));
            }
            continue;
        }
        if (shape.kind == Tool::Circle) {
            if (const auto circle = CircleThrough(shape.points)) {
                const QPointF centre = onView(circle->first);
                painter.drawEllipse(centre, circle->second * sx, circle->second * sy);
                label(centre, LabelOf(shape, scale));
            }
            continue;
        }
        if (shape.kind == Tool::Angle) {
            const QPointF vertex = onView(shape.points[1]);
            painter.drawLine(onView(shape.points[0]), vertex);
            painter.drawLine(vertex, onView(shape.points[2]));
            label(vertex, LabelOf(shape, scale));
            continue;
        }
        const QPointF a = onView(shape.points[0]), b = onView(shape.points[1]);
        painter.drawLine(a, b);
        if (shape.kind == Tool::Caliper && shape.caliper) {
            // Where it found the edges: a short bar across the line at each.
            const QPointF d = b - a;
            const double length = std::hypot(d.x(), d.y());
            const QPointF across = length > 0 ? QPointF(-d.y(), d.x()) / length * 8 : QPointF();
            painter.setPen(QPen(kEdgeColour, 2));
            for (const QPointF& edge : {shape.caliper->from, shape.caliper->to}) {
                const QPointF at = onView(edge);
                painter.drawLine(at - across, at + across);
            }
        }
        label((a + b) / 2, LabelOf(shape, scale));
    }
    // The count's readout in the picture's corner.
    if (CountShape()) label(QPointF(area.left() + 4, area.top() + 22), CountReadout(scale));
    painter.restore();
}

std::vector<OverlayShape> LiveMeasurement::AsOverlay() const
{
    std::vector<OverlayShape> overlay;
    const std::uint32_t colour = kShapeColour.rgba();
    for (const Shape& shape : shapes_) {
        switch (shape.kind) {
        case Tool::Line:
            overlay.push_back({OverlayShape::Kind::Line, shape.points, QStringLiteral("Line"), {}, colour, 2, 0});
            break;
        case Tool::Caliper:
            if (shape.caliper)
                overlay.push_back({OverlayShape::Kind::Line,
                                   {shape.caliper->from, shape.caliper->to},
                                   QStringLiteral("Caliper"),
                                   {},
                                   colour,
                                   2,
                                   0});
            break;
        case Tool::Count:
            overlay.push_back({OverlayShape::Kind::Points, shape.points, QStringLiteral("Count"), {}, colour, 0, 0});
            break;
        case Tool::Circle:
            if (const auto circle = CircleThrough(shape.points)) {
                const QPointF r(circle->second, circle->second);
                overlay.push_back({OverlayShape::Kind::Oval,
                                   {circle->first - r, circle->first + r},
                                   QStringLiteral("Three-point circle"),
                                   {},
                                   colour,
                                   2,
                                   0});
            }
            break;
        case Tool::Angle:
            overlay.push_back({OverlayShape::Kind::Angle, shape.points, QStringLiteral("Angle"), {}, colour, 2, 0});
            break;
        case Tool::None: break;
        }
    }
    return overlay;
}
