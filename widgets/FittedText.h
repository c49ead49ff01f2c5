#pragma once
// Text on a fixed-size piece of artwork: a translation wider than its room is drawn
// narrower (down to half its width) rather than cut.

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>

inline void DrawFittedText(QPainter& painter, QPoint baselineStart, int room, const QString& text)
{
    const int wide = QFontMetrics(painter.font()).horizontalAdvance(text);
    painter.save();
    painter.translate(baselineStart);
    if (wide > room && room > 0) painter.scale(std::max(0.5, static_cast<double>(room) / wide), 1.0);
    painter.drawText(0, 0, text);
    painter.restore();
}
