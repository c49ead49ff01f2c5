#pragma once
// A scale bar: a round length ("100 µm", "0.5 mm") whose bar spans 15 to 25 % of the
// picture's width, drawn in a corner with its text above it. Used over the live picture and
// burned into a saved measured picture, both from a stage calibration.

#include <QRect>
#include <QString>

#include <optional>

class QPainter;

enum class ScaleBarCorner { TopLeft, TopRight, BottomLeft, BottomRight };

struct ScaleBar {
    double millimetres = 0; // the round length
    double pixels = 0;      // its length at the given scale
    QString text;           // "100 µm", "0.5 mm"
};

// The round length nearest a fifth of `widthPixels` at `millimetresPerPixel`; none for no
// scale or no width.
std::optional<ScaleBar> ChooseScaleBar(double millimetresPerPixel, int widthPixels, bool micrometres);

// Draws the bar in `corner` of `area`, sized for the area (white with a dark edge, readable
// on any picture).
void DrawScaleBar(QPainter& painter, const QRect& area, ScaleBarCorner corner, const ScaleBar& bar);
