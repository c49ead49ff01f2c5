#include "app/PanelTexts.h"

#include "framework/LangText.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace {

const QColor kAccent(90, 170, 230);

QFont PanelFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// A translation longer than its place ends in an ellipsis rather than running over the art.
void DrawFitted(QPainter& painter, const QRect& place, int flags, const QString& text)
{
    painter.drawText(place, flags, QFontMetrics(painter.font()).elidedText(text, Qt::ElideRight, place.width()));
}

} // namespace

void DrawPanelTitleAndHint(QPainter& painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont product = PanelFont(17, true);
    const QString name = QStringLiteral("QRV-DM500");
    painter.setFont(product);
    painter.setPen(QColor(235, 240, 246));
    const QPoint baseline(252, 23);
    painter.drawText(baseline, name);
    const int nameWidth = QFontMetrics(product).horizontalAdvance(name + QLatin1Char(' '));
    painter.setFont(PanelFont(11));
    painter.setPen(kAccent);
    // The line ends before the scale read-out at the right.
    const int room = 740 - baseline.x() - nameWidth;
    painter.drawText(baseline + QPoint(nameWidth, 0),
                     QFontMetrics(painter.font())
                         .elidedText(LangText("ProductLine", 64, "Digital Microscope"), Qt::ElideRight, room));

    painter.setPen(QColor(150, 165, 185));
    DrawFitted(painter, QRect(340, 528, 510, 36), Qt::AlignRight | Qt::AlignVCenter,
               LangText("FullScreenTip", 100, "Double-click the picture for full screen"));
    painter.restore();
}

void DrawTabLabels(QPainter& painter, bool picturesActive)
{
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    const struct {
        QRect place;
        bool active;
        const char* key;
        const char* text;
    } tabs[] = {
        {QRect(10, 89, 100, 20), picturesActive, "TabPictures", "Pictures"},
        {QRect(124, 88, 100, 20), !picturesActive, "TabVideos", "Videos"},
    };
    for (const auto& tab : tabs) {
        painter.setFont(PanelFont(12, tab.active));
        painter.setPen(tab.active ? QColor(255, 255, 255) : QColor(170, 182, 198));
        DrawFitted(painter, tab.place.adjusted(3, 0, -3, 0), Qt::AlignCenter, LangText(tab.key, 30, tab.text));
    }
    painter.restore();
}
