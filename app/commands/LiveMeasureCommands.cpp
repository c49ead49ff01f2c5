#include "app/commands/LiveMeasureCommands.h"
#include "measure/MeasureGeometry.h"

#include "app/PictureDescription.h"
#include "app/commands/StillKeeping.h"
#include "app/stills/StillFormatSetting.h"
#include "capture/CaptureGraph.h"
#include "measure/StageCalibration.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr qint64 kRemeasureEveryMs = 200;

} // namespace

void LiveMeasureCommands::ChooseTool(LiveMeasurement::Tool tool)
{
    measurement_.SetTool(measurement_.CurrentTool() == tool ? LiveMeasurement::Tool::None : tool);
}

bool LiveMeasureCommands::Clear()
{
    const bool had = !measurement_.Empty() || measurement_.CurrentTool() != LiveMeasurement::Tool::None;
    measurement_.Clear();
    measurement_.SetTool(LiveMeasurement::Tool::None);
    return had;
}

QImage LiveMeasureCommands::CurrentPicture() const
{
    QImage picture;
    host_.Engine().CurrentFrame().With([&](const Frame& frame) {
        if (frame.Empty()) return false;
        picture = QImage(frame.pixels.data(), frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                         QImage::Format_BGR888)
                      .copy();
        return true;
    });
    return picture;
}

bool LiveMeasureCommands::ClickOnPreview(QPoint at)
{
    if (measurement_.CurrentTool() == LiveMeasurement::Tool::None || shownIn_.isEmpty() || !shownIn_.contains(at))
        return false;
    const QSize frame = host_.Engine().CaptureSize();
    const QPointF point((at.x() - shownIn_.left() + 0.5) * frame.width() / shownIn_.width(),
                        (at.y() - shownIn_.top() + 0.5) * frame.height() / shownIn_.height());
    const QImage picture = measurement_.CurrentTool() == LiveMeasurement::Tool::Caliper ? CurrentPicture() : QImage();
    return measurement_.Click(point, frame, picture);
}

void LiveMeasureCommands::Draw(QPainter& painter, const QRect& area)
{
    shownIn_ = area;
    if (measurement_.Empty()) return;
    measurement_.FollowCaptureSize(host_.Engine().CaptureSize());
    if (!sinceMeasured_.isValid() || sinceMeasured_.elapsed() >= kRemeasureEveryMs) {
        sinceMeasured_.start();
        if (std::any_of(measurement_.Shapes().begin(), measurement_.Shapes().end(),
                        [](const LiveMeasurement::Shape& s) { return s.kind == LiveMeasurement::Tool::Caliper; }))
            measurement_.Remeasure(CurrentPicture());
    }
    measurement_.Draw(painter, area, Scale());
}

LiveScale LiveMeasureCommands::Scale() const
{
    const int magnification = TypedMagnification(host_.MagnificationText());
    const CalibrationStore calibrations(host_.CalibrationPath());
    // The calibration's scale at the capture size; without one the nominal factor's, said as such.
    const PictureMetadata described =
        DescribePicture({}, magnification, host_.Engine().CaptureSize(), calibrations, true);
    LiveScale scale;
    scale.micrometres = calibrations.Unit() == LengthUnit::Micrometre;
    scale.millimetresPerPixel = described.millimetresPerPixel;
    scale.nominal = described.HasScale() && !calibrations.Find(magnification);
    return scale;
}

LiveInfo LiveMeasureCommands::ForViewers() const
{
    using Tool = LiveMeasurement::Tool;
    const LiveScale scale = Scale();
    LiveInfo info;
    info.frame = host_.Engine().CaptureSize();
    info.magnification = TypedMagnification(host_.MagnificationText());
    info.millimetresPerPixel = scale.millimetresPerPixel;
    info.micrometres = scale.micrometres;
    info.nominal = scale.nominal;
    for (const LiveMeasurement::Shape& shape : measurement_.Shapes()) {
        LiveInfo::Shape out;
        out.points = shape.points;
        out.label = measurement_.LabelOf(shape, scale);
        switch (shape.kind) {
        case Tool::Line: out.kind = QStringLiteral("line"); break;
        case Tool::Angle: out.kind = QStringLiteral("angle"); break;
        case Tool::Count: out.kind = QStringLiteral("count"); break;
        case Tool::Caliper:
            out.kind = QStringLiteral("caliper");
            if (shape.caliper) out.points = {shape.caliper->from, shape.caliper->to};
            break;
        case Tool::Circle:
            out.kind = QStringLiteral("circle");
            if (shape.points.size() == 3)
                if (const auto circle = ExactCircleThrough(shape.points[0], shape.points[1], shape.points[2])) {
                    out.centre = circle->first;
                    out.radius = circle->second;
                }
            break;
        case Tool::None: continue;
        }
        info.shapes.push_back(std::move(out));
    }
    return info;
}
