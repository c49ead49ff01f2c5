#pragma once
// The window on which one picture is shown and shapes are drawn and measured over it with
// the mouse. This window owns its shapes, builds them, shows the
// picture with every shape and writes the annotated picture at the picture's own size.

#include "measure/MeasureGeometry.h"
#include "measure/MeasureShape.h"
#include "measure/StageCalibration.h"
#include "widgets/ScaleBar.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>

// File name parts of a picture path.
QString PictureTitle(const QString& path);       // name without its extension
QString PictureFileCaption(const QString& path); // the title after its first underscore

class CMeasureCanvas : public QWidget {
    Q_OBJECT
public:
    // Opens the picture at once; `viewSize` is the client area the picture is stretched to.
    CMeasureCanvas(const QString& picturePath, QSize viewSize, QWidget* parent = nullptr);
    ~CMeasureCanvas() override;

    bool HasPicture() const { return !picture_.isNull(); }
    QString PicturePath() const { return picturePath_; }
    // True when shapes were added or taken back since the picture was opened or last saved.
    bool HasUnsavedShapes() const { return ShapesFingerprint() != savedFingerprint_; }
    QSize PictureSize() const { return picture_.size(); }
    // The magnification in the picture's file name, 0 when it has none.
    int FileNameRate() const { return fileNameRate_; }
    ShapeStore& Shapes() { return shapes_; }
    const ShapeStore& Shapes() const { return shapes_; }
    QString Title() const { return title_; }
    QString FileCaption() const { return fileCaption_; }
    // Where the picture lies in the view (shown whole, its shape kept) and its scale.
    const ViewMapping& Mapping() const { return mapping_; }

    void SetTool(int tool, bool measure);
    int Tool() const { return tool_; }
    bool IsMeasuring() const { return measure_; }
    void SetPendingText(const QString& text) { pendingText_ = text; }
    const QString& PendingText() const { return pendingText_; }
    void SetCalibrationRate(int rate) { calibrationRate_ = rate; }
    int CalibrationRate() const { return calibrationRate_; }
    // The stage calibration of the typed magnification: millimetres per picture pixel (0:
    // none, the nominal factor applies) and the unit its labels are in.
    void SetStageCalibration(double millimetresPerPicturePixel, LengthUnit unit);
    double StageMillimetresPerPixel() const { return stageMillimetres_; }
    // The scale the picture's file carries (a TIFF's or PNG's); 0 when none.
    double FileMillimetresPerPixel() const { return fileScale_; }
    // The scale the labels are read with: the stage calibration's (or the file's), else the
    // nominal factor's; 0 without a magnification.
    double LabelsMillimetresPerPixel() const;
    // Measures every measured shape again, with the calibration now in force.
    void Relabel();
    // A scale bar burned into the saved picture in this corner (none: no bar); it needs a
    // stage calibration.
    void SetScaleBarCorner(std::optional<ScaleBarCorner> corner) { scaleBarCorner_ = corner; }
    std::optional<ScaleBarCorner> ScaleBarCornerChosen() const { return scaleBarCorner_; }
    // The last straight measuring line, the reference of a calibration; null when none.
    const MeasureShape* LastLine() const;

    void Undo();
    void Redo();

    // Writes the picture with every shape at the picture's own resolution, as BMP or JPEG
    // by the path's extension; false for another extension, a failed write (the system's
    // reason in `error`, an old file left whole), or no picture.
    bool SaveAnnotated(const QString& path, QString* error = nullptr);

    // The composed view as the window shows it (picture, shapes, caption).
    QImage ComposedView();
    bool IsBuilding() const;
    QRect ConfinementRect() const { return confinement_; }
    bool IsConfined() const { return confined_; }

    // Pen, fonts and colours that the next shapes take.
    int penStyle = PenSolid;
    int penWidth = 1;
    ColorRef penColor = 255;
    QFont labelFont;
    QFont textFont;
    ColorRef labelColor = 255;
    ColorRef textColor = 255;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    struct Figure {
        enum Kind { None, Segment, Circle, Rectangle } kind = None;
        QPoint a, b;
        int radius = 0;
    };

    void OpenPicture(const QString& path);
    void LeftButtonDown(QPoint p);
    void StartShape(QPoint p);
    void ContinueShape(QPoint p);
    void MouseMove(QPoint q);
    void DoubleClick(QPoint q);
    void Cancel();
    void Complete(ShapeKind kind, std::vector<QPoint> points);
    // The scale the labels are read with now.
    Calibration LabelCalibration() const;
    QString CaliperLabelFor(double picturePixels) const;
    // The caliper along the shape's line: its edges and label; false when it finds fewer than two edges.
    bool MeasureCaliper(MeasureShape& shape) const;
    std::vector<QString> LabelsFor(ShapeKind kind, const std::vector<QPoint>& points, bool& measurable) const;
    void SetShapePen(MeasureShape& shape) const;
    void Capture(const QRect& confinement);
    void Release();
    QRectF PictureArea() const; // in view coordinates
    QRect ActiveArea() const;
    QRect RadiusSquare(QPoint centre) const;
    void DrawFigure(QPainter& painter, const Figure& figure) const;
    void Placed(const Figure& figure);
    void ClearPlaced();
    void ShowFeedback(const Figure& figure);
    void Recompose();

    // The shapes as they stand: their number and the last one, which every change alters.
    std::pair<std::size_t, const MeasureShape*> ShapesFingerprint() const;

    QString picturePath_;
    std::pair<std::size_t, const MeasureShape*> savedFingerprint_{0, nullptr};
    QImage picture_;
    QImage shown_; // the picture at the size the view shows it
    QString title_;
    QString fileCaption_;
    ViewMapping mapping_;
    QImage view_; // the picture, every shape and the caption, composed off screen
    bool viewDirty_ = true;

    int tool_ = ToolInitial;
    bool measure_ = true;
    QString pendingText_;
    int calibrationRate_ = 0;
    double stageMillimetres_ = 0;
    double fileScale_ = 0;
    LengthUnit stageUnit_ = LengthUnit::Millimetre;
    std::optional<ScaleBarCorner> scaleBarCorner_;

    // Interaction state.
    QPoint start_, last_;
    bool lineOn_ = false, radiusOn_ = false, rectOn_ = false, angleOn_ = false, diameterOn_ = false,
         continuousOn_ = false, polygonOn_ = false, threePointOn_ = false, fourLineOn_ = false;
    bool angleSecondArm_ = false;
    QPoint angleFirst_;
    bool threeSecondPoint_ = false;
    QPoint threeSecond_;
    bool fourFirstDone_ = false;
    QPoint fourA_, fourB_;
    bool segmentPlaced_ = false, edgePlaced_ = false;
    std::unique_ptr<MeasureShape> current_;

    bool confined_ = false;
    QRect confinement_;
    std::vector<Figure> placed_; // drawn on click until the next full repaint
    Figure feedback_;            // the reversible rubber band
    ShapeStore shapes_;
    int fileNameRate_ = 0;
};
