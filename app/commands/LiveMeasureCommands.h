#pragma once
// Measure on the live picture: the tools (a line, the caliper, a count), clicks on the
// picture placing their points, the shapes drawn over it and kept with the stills, Clear.
// User-interface thread.

#include "app/sharing/LiveInfo.h"
#include "measure/LiveMeasurement.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QString>

class CCaptureGraph;
class QPainter;
class StillFormatSetting;

// What live measuring needs of the window.
class LiveMeasureHost {
public:
    virtual ~LiveMeasureHost() = default;
    virtual CCaptureGraph& Engine() const = 0;
    virtual QString CalibrationPath() const = 0;
    virtual StillFormatSetting& StillFormat() const = 0;
    virtual QString MagnificationText() const = 0;
};

class LiveMeasureCommands {
public:
    explicit LiveMeasureCommands(LiveMeasureHost& host) : host_(host) {}

    // A tool chosen again is put down.
    void ChooseTool(LiveMeasurement::Tool tool);
    bool ToolIs(LiveMeasurement::Tool tool) const { return measurement_.CurrentTool() == tool; }
    // Removes the shapes (and puts the tool down); false when there were none.
    bool Clear();
    // A click on the preview at `at` (its own pixels); false when no tool took it.
    bool ClickOnPreview(QPoint at);
    // Over each composed frame, in `area` where the picture is shown.
    void Draw(QPainter& painter, const QRect& area);
    const LiveMeasurement& Measurement() const { return measurement_; }
    // Where the last frame was shown on the preview.
    QRect ShownIn() const { return shownIn_; }
    // The scale of the magnification in the box: its calibration, else the nominal one.
    LiveScale Scale() const;
    // What the viewers' pages draw over the live picture: the scale and these shapes.
    LiveInfo ForViewers() const;

private:
    QImage CurrentPicture() const;

    LiveMeasureHost& host_;
    LiveMeasurement measurement_;
    QRect shownIn_;               // where the last frame was shown
    QElapsedTimer sinceMeasured_; // calipers measure again a few times a second
};
