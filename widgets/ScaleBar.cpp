#include "widgets/ScaleBar.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

std::optional<ScaleBar> ChooseScaleBar(double millimetresPerPixel, int widthPixels, bool micrometres)
{
    if (!(millimetresPerPixel > 0) || widthPixels <= 0) return std::nullopt;
    // Neighbours in this series are at most 4/3 apart, so one always falls in 15..25 %.
    static constexpr double kSteps[] = {1, 1.5, 2, 2.5, 3, 4, 5, 6, 8};
    const double target = 0.2 * widthPixels * millimetresPerPixel;
    const double decade = std::pow(10.0, std::floor(std::log10(target)));
    ScaleBar best;
    for (double scale : {decade / 10, decade, decade * 10})
        for (double step : kSteps) {
            const double length = step * scale;
            if (best.millimetres == 0 || std::abs(length - target) < std::abs(best.millimetres - target))
                best.millimetres = length;
        }
    best.pixels = best.millimetres / millimetresPerPixel;
    const bool inMicrometres = micrometres || best.millimetres < 0.1;
    best.text = inMicrometres ? QString::number(best.millimetres * 1000, 'g', 6) + QStringLiteral(" \u00B5m")
                              : QString::number(best.millimetres, 'g', 6) + QStringLiteral(" mm");
    return best;
}

void DrawScaleBar(QPainter& painter, const QRect& area, ScaleBarCorner corner, const ScaleBar& bar)
{
    const int margin = std::max(6, area.width() / 40);
    const double thickness = std::max(3.0, area.width() / 160.0);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(10, area.width() / 45));
    font.setBold(true);
    const QFontMetrics metrics(font);
    const double height = thickness + metrics.height() + 2;
    const bool left = corner == ScaleBarCorner::TopLeft || corner == ScaleBarCorner::BottomLeft;
    const bool top = corner == ScaleBarCorner::TopLeft || corner == ScaleBarCorner::TopRight;
    const double x = left ? area.left() + margin : area.right() + 1 - margin - bar.pixels;
    const double y = top ? area.top() + margin : area.bottom() + 1 - margin - height;
    const QRectF barRect(x, y + metrics.height() + 2, bar.pixels, thickness);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(20, 20, 20), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(barRect);
    // The text, white with a dark outline, centred over the bar.
    QPainterPath text;
    const double textWidth = metrics.horizontalAdvance(bar.text);
    text.addText(QPointF(x + (bar.pixels - textWidth) / 2, y + metrics.ascent()), font, bar.text);
    painter.setPen(QPen(QColor(20, 20, 20), 2.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(text);
    painter.fillPath(text, Qt::white);
    painter.restore();
}
