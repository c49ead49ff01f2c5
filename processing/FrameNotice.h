#pragma once
// A line of text over a live frame, right-aligned on a dark band so it reads on any picture:
// what the live stack and the live mosaic tell the user.

#include <QColor>
#include <QString>

class QPainter;

// The notices' bold font, sized to a frame `frameHeight` pixels high.
void UseFrameNoticeFont(QPainter& painter, int frameHeight);

// Draws `text` with its band's right edge at `right` and its top at `top`; returns the band's
// height (0 for no text).
int DrawFrameNotice(QPainter& painter, const QString& text, int right, int top, const QColor& colour);

// Red, for what stopped the work.
inline QColor FrameWarningColour()
{
    return QColor(255, 90, 90);
}
