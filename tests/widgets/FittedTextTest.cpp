#include "widgets/FittedText.h"
#include "capture/Overlays.h"
#include "resources/ResourceIds.h"
#include "resources/Resources.h"

#include <QImage>

#include <gtest/gtest.h>

// The recording counter ("12 Seconds" in every language) on its fixed-size artwork: the text
// stays inside, clear of the right and bottom edge, however long the translation.
TEST(FittedText, TheRecordingCounterFitsItsArtworkInEveryLanguage)
{
    const QImage artwork = resources::LoadBitmapImage(IDB_RECORD_COUNTER);
    ASSERT_FALSE(artwork.isNull());
    QFont large = MakeFixedFont(20, 20);
    for (const QString& seconds : {QStringLiteral("Seconds"), QStringLiteral("Sekunden"), QStringLiteral("Sekuntia"),
                                   QStringLiteral("Segundos"), QString::fromUtf8("секунд"), QString::fromUtf8("秒")}) {
        QImage counter(artwork.size(), QImage::Format_RGB32);
        counter.fill(Qt::black);
        QPainter painter(&counter);
        painter.setFont(large);
        painter.setPen(QColor(0, 255, 0));
        DrawTextFittedInto(painter, counter.rect().adjusted(1, 1, -1, -1), QStringLiteral("59 ") + seconds);
        painter.end();
        int drawn = 0;
        for (int y = 0; y < counter.height(); ++y)
            for (int x = 0; x < counter.width(); ++x) {
                if (qGreen(counter.pixel(x, y)) < 64) continue;
                ++drawn;
                EXPECT_LT(x, counter.width() - 1) << seconds.toStdString();
                EXPECT_LT(y, counter.height() - 1) << seconds.toStdString();
            }
        EXPECT_GT(drawn, 20) << seconds.toStdString();
    }
}
