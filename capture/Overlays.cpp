#include "capture/Overlays.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

QString FormatDateTimeStamp(const QDateTime& time)
{
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf("%d-%d-%d %d:%d:%d", d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QFont MakeFixedFont(int height, int width)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(height);
    font.setWeight(QFont::Normal);
    // The cell width is an upper bound: glyphs forced that wide would cut every read-out,
    // so a narrower natural width is kept.
    const QFontMetricsF metrics(font);
    const double natural = metrics.averageCharWidth();
    if (natural > width) font.setStretch(std::clamp(static_cast<int>(width * 100.0 / natural), 1, 100));
    return font;
}

QFont SystemFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(13);
    font.setBold(true);
    return font;
}

namespace {
int CentreX(const QRect& r)
{
    return r.width() / 2;
}
int CentreY(const QRect& r)
{
    return r.height() / 2;
}

// Line end points are exclusive: the last pixel is not drawn.
void Line(QPainter& p, int x1, int y1, int x2, int y2)
{
    if (x1 == x2 && y1 == y2) return;
    if (y1 == y2) p.drawLine(x1, y1, x2 > x1 ? x2 - 1 : x2 + 1, y2);
    else if (x1 == x2) p.drawLine(x1, y1, x2, y2 > y1 ? y2 - 1 : y2 + 1);
    else p.drawLine(x1, y1, x2, y2);
}
} // namespace

void DrawDateTime(QPainter& p, const QRect& client, const OverlaySwitches& on, const QDateTime& now, const QFont& font)
{
    if (!on.dateTime) return;
    const QString text = FormatDateTimeStamp(now);
    const QFontMetrics metrics(font);
    const QRect box(0, client.bottom() + 1 - 14, metrics.horizontalAdvance(text), metrics.height());
    p.save();
    p.setFont(font);
    p.fillRect(box, Qt::white); // opaque background, as a plain text-out
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() + metrics.ascent(), text);
    p.restore();
}

void DrawCrossLine(QPainter& p, const QRect& client, const OverlaySwitches& on)
{
    if (!on.crossLine) return;
    const int cx = CentreX(client), cy = CentreY(client);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(255, 255, 255), 0));
    Line(p, 0, cy, client.width(), cy);
    Line(p, cx, 0, cx, client.height());
    p.restore();
}

int TickHalfLength(int& counter)
{
    int h = 1;
    if (counter == 11) {
        h = 6;
        counter -= 10;
    } else if (counter == 6) {
        h = 3;
    }
    ++counter;
    return h;
}

void DrawCoordinates(QPainter& p, const QRect& client, const OverlaySwitches& on)
{
    if (!on.coordinates) return;
    const int cx = CentreX(client), cy = CentreY(client);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0, 0, 0), 0));
    if (cy > 0) {
        int k = 1;
        for (int i = 0; i < (cy + 3) / 4; ++i) {
            const int d = 4 * i, h = TickHalfLength(k);
            Line(p, cx - h, cy + d, cx + h, cy + d);
            Line(p, cx - h, cy - d, cx + h, cy - d);
        }
    }
    if (cx > 0) {
        int k = 1;
        for (int i = 0; i < (cx + 3) / 4; ++i) {
            const int d = 4 * i, h = TickHalfLength(k);
            Line(p, cx - d, cy - h, cx - d, cy + h);
            Line(p, cx + d, cy - h, cx + d, cy + h);
        }
    }
    p.restore();
}

void DrawCircles(QPainter& p, const QRect& client, const OverlaySwitches& on)
{
    if (!on.circles) return;
    const int cx = CentreX(client), cy = CentreY(client);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(255, 255, 255), 0));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 5; ++i) {
        const int r = static_cast<int>(i * 0.2 * cy);
        // The bounding box (cx - r, cy - r, cx + r, cy + r), right and bottom exclusive.
        if (r > 0) p.drawEllipse(QRect(cx - r, cy - r, 2 * r - 1, 2 * r - 1));
    }
    p.restore();
}

void DrawConnectMessage(QPainter& p, const QRect& client, const OverlayTexts& texts, const QFont& font)
{
    if (texts.connectMessage.isEmpty()) return;
    // Each line centred, the block in the middle of the window.
    const QStringList lines = texts.connectMessage.split(QLatin1Char('\n'));
    const QFontMetrics metrics(font);
    int y = (client.height() - metrics.height() * static_cast<int>(lines.size())) / 2;
    p.save();
    p.setFont(font);
    p.setPen(QColor(0, 255, 0));
    for (const QString& line : lines) {
        const int width = metrics.horizontalAdvance(line);
        const int x = width < client.width() ? (client.width() - width) / 2 : 0;
        p.drawText(x, y + metrics.ascent(), line);
        y += metrics.height();
    }
    p.restore();
}

void DrawFullScreenHint(QPainter& p, const QRect& client, const OverlayTexts& texts, const QFont& font)
{
    if (!texts.fullScreen) return;
    const QString text = texts.fullScreenHint;
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text);
    const int x = width + 4 < client.width() ? client.width() - width - 4 : 0;
    p.save();
    p.setFont(font);
    p.setPen(QColor(255, 0, 0));
    p.drawText(x, 2 + metrics.ascent(), text);
    p.restore();
}
