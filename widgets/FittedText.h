#pragma once
// Text on a fixed-size piece of artwork: a translation wider than its room is drawn
// narrower (down to half its width) rather than cut.

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
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

// Text inside a box of artwork, left-aligned and vertically centred: the painter's font made
// smaller until its line fits the box's height, then drawn narrower (down to half its
// width), then smaller again, until the text fits whole.
inline void DrawTextFittedInto(QPainter& painter, const QRect& box, const QString& text)
{
    QFont font = painter.font();
    int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontMetrics(font).height();
    for (; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        if (metrics.height() <= box.height() && metrics.horizontalAdvance(text) * 0.5 <= box.width()) break;
    }
    font.setPixelSize(pixels);
    painter.save();
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int baseline = box.top() + (box.height() - metrics.height()) / 2 + metrics.ascent();
    DrawFittedText(painter, QPoint(box.left(), baseline), box.width(), text);
    painter.restore();
}
