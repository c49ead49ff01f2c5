#include "app/FocusDisplay.h"

#include "framework/LangText.h"
#include "processing/FocusMeter.h"

#include <QPainter>

#include <algorithm>

FocusDisplay::FocusDisplay(std::shared_ptr<FocusMeter> meter, QWidget* parent)
    : QWidget(parent), meter_(std::move(meter))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(LangText("FocusTip", 100, "Sharpness of the live picture; the mark is the sharpest seen here"));
    // Ten times a second is as fast as an eye follows a bar.
    connect(&refresh_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    refresh_.start(100);
}

void FocusDisplay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(34, 42, 52));
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(QColor(150, 190, 230));
    const QString label = LangText("Focus", 20, "Focus");
    const int labelWidth = QFontMetrics(font).horizontalAdvance(label) + 6;
    p.drawText(QRect(2, 0, labelWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, label);

    const QRect bar(labelWidth + 2, 3, width() - labelWidth - 6, height() - 6);
    p.fillRect(bar, QColor(20, 24, 30));
    const double best = meter_ ? meter_->Best() : 0;
    const double now = meter_ ? meter_->Sharpness() : 0;
    share_ = best > 0 ? std::clamp(now / best, 0.0, 1.0) : 0;
    if (!meter_ || meter_->Measured() == 0) return;
    if (meter_->NothingToJudge()) {
        // Clear glass or an empty field: a full bar would claim focus where there is nothing.
        share_ = 0;
        p.setPen(QColor(150, 190, 230));
        // Over the bar's whole height, so the letters' descenders are not cut.
        p.drawText(QRect(bar.left(), 0, bar.width(), height()), Qt::AlignCenter,
                   LangText("FocusNoDetail", 64, "No detail to judge"));
        return;
    }
    // Green near the best, amber further away.
    const QColor fill = share_ > 0.9 ? QColor(110, 210, 120) : QColor(230, 170, 60);
    p.fillRect(QRect(bar.left(), bar.top(), static_cast<int>(bar.width() * share_), bar.height()), fill);
    p.setPen(Qt::white);
    p.drawLine(bar.right(), bar.top() - 2, bar.right(), bar.bottom() + 2); // the best seen
}

void DrawPeaking(QPainter& painter, const QRect& area, const FocusMeter& meter)
{
    if (!meter.Peaking()) return;
    const std::shared_ptr<const PeakingMask> mask = meter.Mask();
    if (!mask || mask->width <= 0 || mask->height <= 0) return;
    QImage tint(mask->width, mask->height, QImage::Format_ARGB32_Premultiplied);
    tint.fill(Qt::transparent);
    for (int y = 0; y < mask->height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(tint.scanLine(y));
        const std::uint8_t* marks = &mask->marks[static_cast<std::size_t>(y) * mask->width];
        for (int x = 0; x < mask->width; ++x)
            if (marks[x]) row[x] = qRgba(255, 40, 60, 255);
    }
    painter.drawImage(area, tint);
}
