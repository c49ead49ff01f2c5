#include "measure/MeasureCanvas.h"
#include "measure/Caliper.h"
#include "measure/ShapeOverlay.h"

#include "media/StillNames.h"

#include "framework/WindowSystem.h"

#include <algorithm>
#include <utility>

#include "framework/LangText.h"
#include "framework/MessageBox.h"
#include "framework/RegularFile.h"
#include "measure/MeasureGeometry.h"
#include "measure/ShapeRenderer.h"
#include "media/PictureFile.h"
#include "media/PictureWriter.h"
#include "widgets/ScaleBar.h"

#include <QApplication>
#include <QBuffer>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

#include <QRectF>
#include <cmath>

namespace {

int LabelCount(ShapeKind kind)
{
    switch (kind) {
    case ShapeRectangle: return 3;
    case ShapeRadiusCircle:
    case ShapeDiameterCircle:
    case ShapeThreePointCircle: return 2;
    default: return 1;
    }
}

} // namespace

QString PictureTitle(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return name.left(std::max<qsizetype>(0, name.size() - 4));
}

QString PictureFileCaption(const QString& path)
{
    const QString title = PictureTitle(path);
    const qsizetype underscore = title.indexOf(QLatin1Char('_'));
    return underscore < 0 ? title : title.mid(underscore + 1);
}

CMeasureCanvas::CMeasureCanvas(const QString& picturePath, QSize viewSize, QWidget* parent)
    : QWidget(parent), labelFont(DefaultLabelFont()), textFont(DefaultLabelFont())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(viewSize);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    OpenPicture(picturePath);
}

CMeasureCanvas::~CMeasureCanvas()
{
    Release();
    shapes_.Clear();
}

void CMeasureCanvas::OpenPicture(const QString& path)
{
    QString reason;
    PictureMetadata carried;
    picture_ = ReadPictureFile(path, &reason, &carried);
    if (picture_.isNull()) {
        ShowMessageBox(this, LangText("OpenFileFail", 64, "Cannot open the file") + QLatin1Char('\n') + reason,
                       QApplication::applicationName());
        return;
    }
    picturePath_ = path;
    fileScale_ = carried.millimetresPerPixel;
    title_ = PictureTitle(path);
    fileCaption_ = PictureFileCaption(path);
    fileNameRate_ = MagnificationInName(path);
    // Shown whole with its shape kept; shapes are measured and saved on the picture itself.
    mapping_ = LetterboxMapping(picture_.size(), size());
    // Reduced once, averaging every pixel, so one-pixel lines of an annotated picture do
    // not drop out of the view.
    const QSize shownSize = PictureArea().size().toSize();
    shown_ = shownSize == picture_.size() ? picture_
                                          : picture_.scaled(shownSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Shapes the file keeps (an overlay of ours or of ImageJ's) are shapes again, to edit.
    for (const LoadedShape& loaded : ShapesOfOverlay(carried.overlay, mapping_)) {
        auto shape = std::make_unique<MeasureShape>();
        shape->kind = loaded.kind;
        shape->points = loaded.points;
        SetShapePen(*shape);
        shape->penColor = loaded.colour;
        shape->penWidth = loaded.width;
        shape->labelFont = labelFont;
        shape->labelColor = labelColor;
        if (loaded.kind == ShapeText) {
            shape->labels = {loaded.text};
            shape->textColor = loaded.colour;
            shape->textFont = textFont;
        } else if (loaded.kind == ShapeCountMark) {
            shape->labels = {loaded.text};
        } else if (loaded.kind == ShapeCaliper) {
            // The edges it found when it was measured: kept, not searched for again.
            shape->found = loaded.exactPoints;
            shape->foundPixels = loaded.pictureLength;
            shape->labels = {CaliperLabelFor(loaded.pictureLength)};
        } else {
            bool measurable = true;
            shape->labels = LabelsFor(loaded.kind, shape->points, measurable);
            if (!measurable) continue;
        }
        shapes_.Add(std::move(shape));
    }
    savedFingerprint_ = ShapesFingerprint();
}

double CMeasureCanvas::LabelsMillimetresPerPixel() const
{
    if (stageMillimetres_ > 0) return stageMillimetres_;
    return calibrationRate_ > 0 ? NominalMillimetresPerPicturePixel(calibrationRate_, picture_.size(), width()) : 0;
}

void CMeasureCanvas::SetStageCalibration(double millimetresPerPicturePixel, LengthUnit unit)
{
    stageMillimetres_ = millimetresPerPicturePixel;
    stageUnit_ = unit;
}

void CMeasureCanvas::Relabel()
{
    const bool measuring = std::exchange(measure_, true);
    for (auto& shape : shapes_.shapeList) {
        const bool measured = std::any_of(shape->labels.begin(), shape->labels.end(),
                                          [](const QString& label) { return !label.isEmpty(); });
        if (!measured || shape->kind == ShapeCountMark) continue; // drawn, not measured; a mark keeps its number
        bool measurable = true;
        auto labels = LabelsFor(shape->kind, shape->points, measurable);
        if (shape->kind == ShapeCaliper) labels = {CaliperLabelFor(shape->foundPixels)};
        if (measurable && labels.size() == shape->labels.size()) shape->labels = std::move(labels);
    }
    measure_ = measuring;
    viewDirty_ = true;
    update();
}

const MeasureShape* CMeasureCanvas::LastLine() const
{
    for (auto it = shapes_.shapeList.rbegin(); it != shapes_.shapeList.rend(); ++it)
        if ((*it)->kind == ShapeLine && (*it)->points.size() >= 2 && !(*it)->labels.empty() &&
            !(*it)->labels.front().isEmpty())
            return it->get();
    return nullptr;
}

void CMeasureCanvas::SetTool(int tool, bool measure)
{
    tool_ = tool;
    measure_ = measure;
}

// ---- composing and painting ----------------------------------------------------------------

void CMeasureCanvas::Recompose()
{
    // The view has the window's size: the whole stretched picture is what the user sees.
    if (view_.size() != size()) view_ = QImage(size(), QImage::Format_RGB32);
    view_.fill(Qt::black); // the bars beside or below a picture of another shape
    QPainter painter(&view_);
    painter.drawImage(PictureArea(), shown_);
    const CoordinateMap identity;
    for (const auto& shape : shapes_.shapeList) DrawShape(painter, *shape, identity);
    QFont captionFont = DefaultLabelFont();
    painter.setFont(captionFont);
    painter.setPen(Qt::white);
    painter.drawText(2, height() - 14 + QFontMetrics(captionFont).ascent(), fileCaption_);
    viewDirty_ = false;
}

QImage CMeasureCanvas::ComposedView()
{
    if (!HasPicture()) return {};
    if (viewDirty_) Recompose();
    return view_;
}

void CMeasureCanvas::DrawFigure(QPainter& painter, const Figure& figure) const
{
    switch (figure.kind) {
    case Figure::None: break;
    case Figure::Segment: painter.drawLine(figure.a, figure.b); break;
    case Figure::Circle:
        if (figure.radius > 0)
            painter.drawEllipse(QRect(figure.a.x() - figure.radius, figure.a.y() - figure.radius, 2 * figure.radius - 1,
                                      2 * figure.radius - 1));
        break;
    case Figure::Rectangle: painter.drawRect(RectangleBetween(figure.a, figure.b)); break;
    }
}

void CMeasureCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!HasPicture()) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    if (viewDirty_) Recompose();
    painter.drawImage(0, 0, view_); // one copy to the screen
    painter.setBrush(Qt::NoBrush);
    painter.setPen(PenFor(penStyle, penWidth, penColor));
    for (const Figure& figure : placed_) DrawFigure(painter, figure);
    if (feedback_.kind != Figure::None) {
        // Reversible: the inverse of the pen combined with the picture, as a rubber band.
        painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        DrawFigure(painter, feedback_);
    }
    if (confined_ && !ProgramPlacesWindows()) {
        // The area the shape stays in, since the pointer cannot be held inside it.
        painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawRect(confinement_.adjusted(0, 0, -1, -1));
    }
}

void CMeasureCanvas::Placed(const Figure& figure)
{
    placed_.push_back(figure);
    update();
}

void CMeasureCanvas::ClearPlaced()
{
    placed_.clear();
    feedback_ = Figure{};
    viewDirty_ = true;
    update();
}

void CMeasureCanvas::ShowFeedback(const Figure& figure)
{
    feedback_ = figure;
    update();
}

// ---- capture and confinement ---------------------------------------------------------------

QRectF CMeasureCanvas::PictureArea() const
{
    return QRectF(mapping_.origin, QSizeF(picture_.size()) / mapping_.scale);
}

QRect CMeasureCanvas::ActiveArea() const
{
    // Only the picture takes clicks, not the bars beside it: the view pixels whose centres
    // lie on the picture.
    const QRectF area = PictureArea();
    const int left = static_cast<int>(std::ceil(area.left() - 0.5));
    const int top = static_cast<int>(std::ceil(area.top() - 0.5));
    const int right = static_cast<int>(std::ceil(area.right() - 0.5)); // exclusive
    const int bottom = static_cast<int>(std::ceil(area.bottom() - 0.5));
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top)).intersected(rect());
}

QRect CMeasureCanvas::RadiusSquare(QPoint c) const
{
    const QRect area = ActiveArea();
    const int half = std::min({c.x() - area.left(), c.y() - area.top(), area.left() + area.width() - c.x(),
                               area.top() + area.height() - c.y()});
    return QRect(c.x() - half, c.y() - half, 2 * half, 2 * half);
}

void CMeasureCanvas::Capture(const QRect& confinement)
{
    confinement_ = confinement;
    confined_ = true;
    // Where the pointer may not be held or moved (Wayland), the shape is still kept inside
    // (its points are clamped) and the area is shown instead.
    if (ProgramPlacesWindows()) grabMouse();
    else update();
}

void CMeasureCanvas::Release()
{
    if (confined_) {
        if (ProgramPlacesWindows()) releaseMouse();
        else update(); // the shown area goes
    }
    confined_ = false;
}

// ---- mouse ---------------------------------------------------------------------------------

void CMeasureCanvas::mousePressEvent(QMouseEvent* event)
{
    if (!HasPicture()) return;
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) LeftButtonDown(p);
    else if (event->button() == Qt::RightButton) Cancel();
}

void CMeasureCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (!HasPicture()) return;
    QPoint q = event->position().toPoint();
    if (confined_ && !confinement_.contains(q)) {
        // Keep the pointer inside while a shape is built.
        q.setX(std::clamp(q.x(), confinement_.left(), std::max(confinement_.left(), confinement_.right())));
        q.setY(std::clamp(q.y(), confinement_.top(), std::max(confinement_.top(), confinement_.bottom())));
        if (ProgramPlacesWindows()) QCursor::setPos(mapToGlobal(q));
    }
    MouseMove(q);
}

void CMeasureCanvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!HasPicture() || event->button() != Qt::LeftButton) return;
    DoubleClick(event->position().toPoint());
}

bool CMeasureCanvas::IsBuilding() const
{
    return lineOn_ || radiusOn_ || rectOn_ || angleOn_ || diameterOn_ || continuousOn_ || polygonOn_ || threePointOn_ ||
           fourLineOn_ || fourFirstDone_;
}

void CMeasureCanvas::LeftButtonDown(QPoint p)
{
    if (!fourLineOn_ && !polygonOn_) {
        if (lineOn_) {
            Release();
            ClearPlaced();
            lineOn_ = false;
            last_ = p;
            Complete(tool_ == ToolCaliper ? ShapeCaliper : ShapeLine, {start_, p});
            return;
        }
        if (!radiusOn_ && !rectOn_ && !angleOn_ && !diameterOn_ && !continuousOn_ && !threePointOn_) {
            StartShape(p);
            return;
        }
    }
    ContinueShape(p);
}

void CMeasureCanvas::StartShape(QPoint p)
{
    if (!ActiveArea().contains(p)) return;
    switch (tool_) {
    case ToolLine:
    case ToolCaliper:
        start_ = last_ = p;
        lineOn_ = true;
        Capture(ActiveArea());
        break;
    case ToolRadiusCircle:
        start_ = last_ = p;
        radiusOn_ = true;
        Capture(RadiusSquare(p));
        break;
    case ToolRectangle:
        start_ = last_ = p;
        rectOn_ = true;
        Capture(ActiveArea());
        break;
    case ToolAngle:
        angleSecondArm_ = false;
        start_ = last_ = p;
        angleOn_ = true;
        Capture(ActiveArea());
        break;
    case ToolDiameterCircle:
        start_ = last_ = p;
        diameterOn_ = true;
        Capture(ActiveArea());
        break;
    case ToolContinuousLine:
    case ToolPolygon:
        start_ = last_ = p;
        (tool_ == ToolPolygon ? polygonOn_ : continuousOn_) = true;
        segmentPlaced_ = edgePlaced_ = false;
        current_ = std::make_unique<MeasureShape>();
        Capture(ActiveArea());
        break;
    case ToolThreePointCircle:
        threeSecondPoint_ = false;
        last_ = p;
        threePointOn_ = true;
        Capture(ActiveArea());
        break;
    case ToolFourPointAngle:
        start_ = last_ = p;
        fourLineOn_ = true;
        Capture(ActiveArea());
        break;
    case ToolCount: {
        // Each click is a mark of the count, numbered in the order placed.
        const auto marks = std::count_if(shapes_.shapeList.begin(), shapes_.shapeList.end(),
                                         [](const auto& shape) { return shape->kind == ShapeCountMark; });
        auto shape = std::make_unique<MeasureShape>();
        shape->kind = ShapeCountMark;
        shape->points = {p};
        shape->labels = {QString::number(marks + 1)};
        SetShapePen(*shape);
        shape->labelFont = labelFont;
        shape->labelColor = labelColor;
        shapes_.Add(std::move(shape));
        ClearPlaced();
        break;
    }
    case ToolText:
        if (pendingText_.isEmpty()) return;
        {
            auto shape = std::make_unique<MeasureShape>();
            shape->kind = ShapeText;
            shape->points = {p};
            shape->labels = {pendingText_};
            shape->textColor = textColor;
            shape->textFont = textFont;
            shapes_.Add(std::move(shape));
        }
        pendingText_.clear(); // each text is placed once
        ClearPlaced();
        break;
    default: break; // no tool
    }
}

void CMeasureCanvas::SetShapePen(MeasureShape& shape) const
{
    shape.penStyle = penStyle;
    shape.penWidth = penWidth;
    shape.penColor = penColor;
}

void CMeasureCanvas::ContinueShape(QPoint p)
{
    if (continuousOn_) {
        if (measure_) {
            Placed({Figure::Segment, start_, p});
            current_->points.push_back(start_);
            SetShapePen(*current_);
            current_->labelFont = labelFont;
            current_->labelColor = labelColor;
            current_->kind = ShapeContinuousLine;
            bool measurable = true;
            const auto labels = LabelsFor(ShapeLine, {start_, p}, measurable);
            current_->labels.push_back(labels.empty() ? QString() : labels.front());
            Release();
            start_ = p;
            segmentPlaced_ = true;
        } else {
            // Freehand: the points were gathered while the mouse moved.
            if (current_) shapes_.Add(std::move(current_));
            Release();
            continuousOn_ = false;
            ClearPlaced();
        }
        return;
    }
    if (polygonOn_) {
        Placed({Figure::Segment, start_, p});
        SetShapePen(*current_);
        current_->kind = ShapePolygon;
        current_->points.push_back(start_);
        Release();
        start_ = p;
        edgePlaced_ = true;
        return;
    }
    if (angleOn_) {
        if (!angleSecondArm_) {
            Placed({Figure::Segment, start_, p});
            feedback_ = Figure{};
            angleFirst_ = start_;
            start_ = last_ = p;
            angleSecondArm_ = true;
        } else {
            Release();
            angleOn_ = angleSecondArm_ = false;
            ClearPlaced();
            Complete(ShapeAngle, {angleFirst_, p, start_});
        }
        return;
    }
    if (fourLineOn_) {
        if (!fourFirstDone_) {
            fourA_ = last_;
            fourB_ = p;
            feedback_ = Figure{};
            Placed({Figure::Segment, fourA_, fourB_});
            fourFirstDone_ = true;
            fourLineOn_ = false; // capture stays: the next click starts the second line
        } else {
            Release();
            fourLineOn_ = fourFirstDone_ = false;
            ClearPlaced();
            Complete(ShapeFourPointAngle, {fourA_, fourB_, last_, p});
        }
        return;
    }
    if (threePointOn_) {
        if (!threeSecondPoint_) {
            threeSecond_ = p;
            threeSecondPoint_ = true;
        } else {
            Release();
            threePointOn_ = threeSecondPoint_ = false;
            ClearPlaced();
            Complete(ShapeThreePointCircle, {last_, threeSecond_, p});
        }
        return;
    }
    if (radiusOn_ || diameterOn_ || rectOn_) {
        const ShapeKind kind = radiusOn_ ? ShapeRadiusCircle : diameterOn_ ? ShapeDiameterCircle : ShapeRectangle;
        Release();
        radiusOn_ = diameterOn_ = rectOn_ = false;
        ClearPlaced();
        Complete(kind, {start_, p});
    }
}

void CMeasureCanvas::MouseMove(QPoint q)
{
    const bool rubberLine =
        ((tool_ == ToolLine || tool_ == ToolCaliper) && lineOn_) || (tool_ == ToolAngle && angleOn_) ||
        (tool_ == ToolContinuousLine && measure_ && continuousOn_) || (tool_ == ToolPolygon && polygonOn_);
    if (rubberLine) {
        last_ = q;
        ShowFeedback({Figure::Segment, start_, q});
    } else if (tool_ == ToolRadiusCircle && radiusOn_) {
        last_ = q;
        ShowFeedback({Figure::Circle, start_, {}, TruncatedLength(start_, q)});
    } else if (tool_ == ToolDiameterCircle && diameterOn_) {
        last_ = q;
        ShowFeedback({Figure::Circle, MidpointDiv2(start_, q), {}, TruncatedLength(start_, q) / 2});
    } else if (tool_ == ToolRectangle && rectOn_) {
        last_ = q;
        ShowFeedback({Figure::Rectangle, start_, q});
    } else if (tool_ == ToolContinuousLine && !measure_ && continuousOn_ && current_) {
        if (q == start_) return;
        Placed({Figure::Segment, start_, q});
        current_->points.push_back(start_);
        current_->labels.emplace_back();
        SetShapePen(*current_);
        current_->kind = ShapeContinuousLine;
        start_ = q;
    } else if (tool_ == ToolFourPointAngle && fourLineOn_) {
        start_ = q;
        ShowFeedback({Figure::Segment, last_, q});
    }
}

void CMeasureCanvas::DoubleClick(QPoint q)
{
    if (continuousOn_ && segmentPlaced_ && current_) {
        current_->points.push_back(q);
        current_->kind = ShapeContinuousLine;
        SetShapePen(*current_);
        current_->labelFont = labelFont;
        current_->labelColor = labelColor;
        shapes_.Add(std::move(current_));
        Release();
        segmentPlaced_ = continuousOn_ = false;
        ClearPlaced();
    } else if (polygonOn_ && edgePlaced_ && current_) {
        current_->points.push_back(q);
        bool measurable = true;
        current_->labels = LabelsFor(ShapePolygon, current_->points, measurable);
        current_->labelColor = labelColor;
        current_->labelFont = labelFont;
        current_->kind = ShapePolygon;
        shapes_.Add(std::move(current_));
        Release();
        edgePlaced_ = polygonOn_ = false;
        ClearPlaced();
    }
    // Everywhere else a double click does nothing: its first press was the click, and its
    // second must not complete a zero-size shape or repeat a point.
}

void CMeasureCanvas::Cancel()
{
    if (!(lineOn_ || radiusOn_ || rectOn_ || angleOn_ || diameterOn_ || continuousOn_ || polygonOn_)) return;
    lineOn_ = radiusOn_ = rectOn_ = angleOn_ = diameterOn_ = continuousOn_ = polygonOn_ = false;
    // The shape being built is dropped for good: a later double click must not bring it back.
    segmentPlaced_ = edgePlaced_ = false;
    current_.reset();
    Release();
    ClearPlaced();
}

std::vector<QString> CMeasureCanvas::LabelsFor(ShapeKind kind, const std::vector<QPoint>& points,
                                               bool& measurable) const
{
    measurable = true;
    const bool alwaysMeasured = kind == ShapePolygon || kind == ShapeFourPointAngle;
    if (!measure_ && !alwaysMeasured) {
        // Draw mode still refuses a circle that does not exist.
        if (kind == ShapeThreePointCircle && points.size() >= 3 &&
            !CircleThroughThreePoints(points[0], points[1], points[2]))
            measurable = false;
        return std::vector<QString>(static_cast<std::size_t>(LabelCount(kind)));
    }
    if (calibrationRate_ <= 0) return std::vector<QString>(static_cast<std::size_t>(LabelCount(kind)));
    const auto labels = MeasureLabels(kind, points, LabelCalibration());
    if (!labels) {
        measurable = false;
        return {};
    }
    return *labels;
}

Calibration CMeasureCanvas::LabelCalibration() const
{
    Calibration calibration;
    calibration.mapping = mapping_;
    calibration.millimetresPerPicturePixel = LabelsMillimetresPerPixel();
    if (stageMillimetres_ > 0) calibration.unit = stageUnit_;
    return calibration;
}

QString CMeasureCanvas::CaliperLabelFor(double picturePixels) const
{
    return calibrationRate_ > 0 ? CaliperLabel(picturePixels, LabelCalibration()) : QString();
}

bool CMeasureCanvas::MeasureCaliper(MeasureShape& shape) const
{
    const auto reading =
        MeasureWithCaliper(picture_, mapping_.ToPicture(shape.points[0]), mapping_.ToPicture(shape.points[1]));
    if (!reading) return false;
    shape.found = {mapping_.ToView(reading->from), mapping_.ToView(reading->to)};
    shape.foundPixels = reading->pixels;
    shape.labels = {CaliperLabelFor(reading->pixels)};
    return true;
}

void CMeasureCanvas::Complete(ShapeKind kind, std::vector<QPoint> points)
{
    bool measurable = true;
    auto shape = std::make_unique<MeasureShape>();
    if (kind == ShapeCaliper) {
        shape->points = points;
        if (!MeasureCaliper(*shape)) {
            ClearPlaced();
            ShowMessageBox(this,
                           LangText("CaliperNoEdges", 100,
                                    "The line crosses fewer than two edges: the caliper has nothing to measure."),
                           QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Information);
            return;
        }
    } else {
        shape->labels = LabelsFor(kind, points, measurable);
    }
    if (!measurable) {
        // Three points on one line: no circle passes through them, so none is listed, and
        // the user is told why nothing was drawn.
        ClearPlaced();
        ShowMessageBox(
            this, LangText("CircleNoPoints", 100, "The three points lie on one line: no circle passes through them."),
            QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    shape->kind = kind;
    shape->points = std::move(points);
    SetShapePen(*shape);
    if (measure_ || kind == ShapePolygon || kind == ShapeFourPointAngle) {
        shape->labelFont = labelFont;
        shape->labelColor = labelColor;
    }
    shapes_.Add(std::move(shape));
    ClearPlaced();
}

void CMeasureCanvas::Undo()
{
    shapes_.Undo();
    ClearPlaced();
}

void CMeasureCanvas::Redo()
{
    shapes_.Redo();
    ClearPlaced();
}

std::pair<std::size_t, const MeasureShape*> CMeasureCanvas::ShapesFingerprint() const
{
    const auto& list = shapes_.shapeList;
    return {list.size(), list.empty() ? nullptr : list.back().get()};
}

bool CMeasureCanvas::SaveAnnotated(const QString& path, QString* error)
{
    if (!HasPicture()) return false;
    const std::optional<PictureFormat> kind = PictureFormatOf(path);
    if (!kind) return false;
    const bool carriesScale = kind == PictureFormat::Tiff || kind == PictureFormat::Png;
    // A TIFF keeps the shapes as shapes (an ImageJ overlay: ImageJ and Fiji show and measure
    // them, and Photo Measure opens them again to edit); other formats have them drawn in.
    const bool asOverlay = kind == PictureFormat::Tiff;
    QImage annotated = picture_.copy();
    {
        QPainter painter(&annotated);
        const CoordinateMap map{mapping_, true};
        if (!asOverlay)
            for (const auto& shape : shapes_.shapeList) DrawShape(painter, *shape, map);
        // The scale bar, when one is asked for and a stage calibration gives the scale.
        if (scaleBarCorner_ && stageMillimetres_ > 0) {
            if (const auto bar =
                    ChooseScaleBar(stageMillimetres_, annotated.width(), stageUnit_ == LengthUnit::Micrometre))
                DrawScaleBar(painter, annotated.rect(), *scaleBarCorner_, *bar);
        }
    }
    // The caption is only shown, never saved. The file is encoded whole first and replaces
    // an old one only once it is completely written. In TIFF and PNG the scale the labels
    // use travels with the picture (the nominal one too: the labels were read with it); a
    // bitmap or a JPEG says it has none.
    PictureMetadata metadata;
    if (carriesScale) {
        metadata.millimetresPerPixel = LabelsMillimetresPerPixel();
        metadata.magnification = calibrationRate_;
    }
    if (asOverlay) metadata.overlay = OverlayOfShapes(shapes_.shapeList, mapping_);
    if (!WritePictureFile(path, annotated, metadata, error)) return false;
    savedFingerprint_ = ShapesFingerprint();
    return true;
}
