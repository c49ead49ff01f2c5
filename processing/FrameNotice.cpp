#include "processing/FrameNotice.h"

#include <QPainter>

#include <algorithm>

void UseFrameNoticeFont(QPainter& painter, int frameHeight)
{
    QFont font = painter.font();
    font.setPixelSize(std::max(11, frameHeight / 40));
    font.setBold(true);
    painter.setFont(font);
}

int DrawFrameNotice(QPainter& painter, const QString& text, int right, int top, const QColor& colour)
{
    if (text.isEmpty()) return 0;
    const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-6, -3, 6, 3);
    const QRect placed(right - box.width(), top, box.width(), box.height());
    painter.fillRect(placed, QColor(0, 0, 0, 160));
    painter.setPen(colour);
    painter.drawText(placed, Qt::AlignCenter, text);
    return placed.height();
}
