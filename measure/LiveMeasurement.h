#pragma once
// Measuring on the live picture: lines, calipers and a count of marks placed with clicks on
// the specimen's picture. The shapes are kept in capture pixels, so they stay on the
// specimen at every display size and in full screen, and are scaled with it when the capture
// size changes; their labels read in the calibration's unit. Plain C++ and QPainter;
// user-interface thread.

#include "measure/Caliper.h"
#include "media/PictureMetadata.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

// The scale the labels are read with.
struct LiveScale {
    double millimetresPerPixel = 0; // 0: none, the labels say pixels
    bool micrometres = true;        // the unit of the calibration list
    bool nominal = false;           // the nominal factor's, not a calibration's
};

class LiveMeasurement {
public:
    enum class Tool { None, Line, Circle, Angle, Caliper, Count };
    struct Shape {
        Tool kind = Tool::Line;
        std::vector<QPointF> points;           // capture pixels; a circle: three on it; an angle: an arm's end,
                                               // the vertex, the other arm's end; a count: its marks in order
        std::optional<CaliperReading> caliper; // what the caliper found on the picture
    };

    void SetTool(Tool tool);
    Tool CurrentTool() const { return tool_; }
    // A click on the picture at `point` (capture pixels) of a frame of `frameSize`; the
    // caliper measures on `frame`. False when no tool takes it.
    bool Click(QPointF point, QSize frameSize, const QImage& frame);
    // The calipers measure again on a new frame (the picture lives: noise, a moved slide).
    void Remeasure(const QImage& frame);
    void Clear();
    bool Empty() const { return shapes_.empty() && pending_.empty(); }
    const std::vector<Shape>& Shapes() const { return shapes_; }
    // The capture size is now `frameSize`: the shapes are scaled to stay on the specimen.
    void FollowCaptureSize(QSize frameSize);

    QString LabelOf(const Shape& shape, const LiveScale& scale) const;
    // "12 marks", and with a scale "12 marks, 45.6 per mm²" of the whole view.
    QString CountReadout(const LiveScale& scale) const;
    // Drawn over the picture shown in `area` (the frame stretched into it).
    void Draw(QPainter& painter, const QRect& area, const LiveScale& scale) const;
    // As a picture file keeps them (capture pixels are the still's pixels).
    std::vector<OverlayShape> AsOverlay() const;
    // The text a length reads in (shared with the readouts).
    static QString LengthText(double pixels, const LiveScale& scale);

private:
    // The one count (all its marks), or none yet.
    const Shape* CountShape() const;

    Tool tool_ = Tool::None;
    QSize frameSize_;
    std::vector<QPointF> pending_; // the first point of a line or caliper being drawn
    std::vector<Shape> shapes_;
};
