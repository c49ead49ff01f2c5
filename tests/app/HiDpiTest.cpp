#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

// The window as the probe shows it at `scale` (1 for 100 %, 2 for 200 %).
QImage WindowAt(double scale, const QTemporaryDir& dir)
{
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", QString::number(scale));
    environment.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    probe.setProcessEnvironment(environment);
    const QString shot = dir.path() + QString("/window-%1.png").arg(scale);
    probe.start(HIDPI_PROBE_PATH, {shot});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0) return {};
    return QImage(shot).convertToFormat(QImage::Format_RGB32);
}

// The detail a region has at twice the pixels, beyond what half the pixels can hold: the RMS
// difference between the region and itself brought down to half size and back up. A picture
// stretched from 1x (blurred or with doubled pixels) has almost none; one drawn at 2x has its
// finer edges.
double DetailBeyondHalf(const QImage& picture, const QRect& region)
{
    const QImage part = picture.copy(region);
    const QImage roundTrip = part.scaled(part.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .scaled(part.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double squares = 0;
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x) {
            const int d = qGray(part.pixel(x, y)) - qGray(roundTrip.pixel(x, y));
            squares += d * d;
        }
    return std::sqrt(squares / (part.width() * part.height()));
}

// The share of the region's 2 x 2 pixel blocks (as one laid-out pixel covers) that are one
// flat colour: all of them where a 1x picture was drawn with its pixels doubled.
double FlatBlocks(const QImage& picture, const QRect& region)
{
    int flat = 0, blocks = 0;
    for (int y = region.top() & ~1; y + 1 <= region.bottom(); y += 2)
        for (int x = region.left() & ~1; x + 1 <= region.right(); x += 2) {
            const QRgb a = picture.pixel(x, y);
            flat += a == picture.pixel(x + 1, y) && a == picture.pixel(x, y + 1) && a == picture.pixel(x + 1, y + 1);
            ++blocks;
        }
    return blocks ? static_cast<double>(flat) / blocks : 1;
}

} // namespace

TEST(HiDpi, AtTwoHundredPercentTheButtonsAndTheSkinsTextsAreDrawnWithTwiceThePixels)
{
    QTemporaryDir dir;
    const QImage single = WindowAt(1, dir), twice = WindowAt(2, dir);
    ASSERT_FALSE(single.isNull());
    ASSERT_FALSE(twice.isNull());
    // The same window, laid out alike, with twice the pixels each way.
    ASSERT_EQ(twice.size(), single.size() * 2);
    // What the 1x window would look like stretched to 200 %: the blur this is about.
    const QImage stretched = single.scaled(single.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The camera button and the product line in the skin (laid-out coordinates, under the
    // menu bar, found in the 1x shot).
    for (const QRect& laidOut : {QRect(15, 33, 23, 23), QRect(250, 28, 110, 16)}) {
        const QRect region(laidOut.topLeft() * 2, laidOut.size() * 2);
        const double crisp = DetailBeyondHalf(twice, region), blurred = DetailBeyondHalf(stretched, region);
        std::printf("region %d,%d: detail beyond 1x %.1f grey levels at 2x, %.1f stretched from 1x\n", laidOut.x(),
                    laidOut.y(), crisp, blurred);
        EXPECT_GT(crisp, 2 * blurred); // not blurred
        const double flat = FlatBlocks(twice, region);
        std::printf("  flat 2 x 2 blocks: %.0f %%\n", 100 * flat);
        EXPECT_LT(flat, 0.9); // not doubled pixels
    }
}
