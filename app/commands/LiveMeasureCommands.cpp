#include "app/commands/LiveMeasureCommands.h"

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
