#include "measure/Caliper.h"
#include "CameraNoise.h"
#include "Micrometer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// A caliper drawn across two long division lines (0.1 mm apart), from a quarter of the way
// to the next before the first to as far after the second, turned by `degrees`.
std::optional<CaliperReading> AcrossOneTenth(const QImage& picture, const Micrometer& m, double degrees)
{
    const double pitch = m.longLines[1] - m.longLines[0];
    const QPointF middle((m.longLines[0] + m.longLines[1]) / 2, m.baselineY - 0.04 * m.picture.width());
    const double half = pitch / 2 + pitch / 4;
    const double t = degrees * std::numbers::pi / 180;
    const QPointF reach(half * std::cos(t), half * std::sin(t));
    return MeasureWithCaliper(picture, middle - reach, middle + reach);
}

} // namespace

TEST(Caliper, ATenthOfAMillimetreOnTheMicrometerReadsWithinHalfAPercentAtEitherSizeAndAskew)
{
    for (const QSize size : {QSize(1280, 1024), QSize(640, 480)}) {
        const Micrometer m = RenderMicrometer(size.width(), size.height());
        ASSERT_GE(m.longLines.size(), 2u) << size.width();
        for (const double degrees : {0.0, 7.0, -11.0}) {
            const auto reading = AcrossOneTenth(AsACameraSeesIt(m.picture, 7), m, degrees);
            ASSERT_TRUE(reading.has_value()) << size.width() << " " << degrees;
            const double millimetres = reading->pixels * m.millimetresPerPixel;
            RecordProperty("reading_" + std::to_string(size.width()) + "_" + std::to_string(static_cast<int>(degrees)),
                           std::to_string(millimetres));
            EXPECT_NEAR(millimetres, 0.100, 0.0005) << size.width() << " at " << degrees << " degrees";
            EXPECT_EQ(reading->edges.size(), 4u); // in and out of each line
        }
    }
}

TEST(Caliper, EveryReadingOfThirtyNoisyFramesIsWithinTwoTenthsOfAPercentOfTheirMean)
{
    const Micrometer m = RenderMicrometer(640, 480);
    std::vector<double> readings;
    for (unsigned frame = 0; frame < 30; ++frame) {
        const auto reading = AcrossOneTenth(AsACameraSeesIt(m.picture, 100 + frame), m, 5.0);
        ASSERT_TRUE(reading.has_value());
        readings.push_back(reading->pixels);
    }
    double mean = 0;
    for (const double r : readings) mean += r / static_cast<double>(readings.size());
    double worst = 0;
    for (const double r : readings) worst = std::max(worst, std::abs(r - mean) / mean);
    RecordProperty("worst_deviation_percent", std::to_string(100 * worst));
    RecordProperty("mean_millimetres", std::to_string(mean * m.millimetresPerPixel));
    EXPECT_LE(worst, 0.002);
    EXPECT_NEAR(mean * m.millimetresPerPixel, 0.100, 0.0005);
}

TEST(Caliper, EdgesAreFoundBetweenPixelsAndAWireIsMeasuredEdgeToEdge)
{
    // A dark wire 12.4 pixels wide on a bright ground, its edges softened over a pixel or two.
    QImage picture(200, 60, QImage::Format_RGB32);
    for (int x = 0; x < 200; ++x) {
        const double inside = std::clamp(std::min(x + 0.5 - 80.3, 92.7 - (x + 0.5)) + 0.5, 0.0, 1.0);
        const int grey = static_cast<int>(std::lround(220 - 160 * inside));
        for (int y = 0; y < 60; ++y) picture.setPixel(x, y, qRgb(grey, grey, grey));
    }
    const auto reading = MeasureWithCaliper(picture, QPointF(60, 30), QPointF(120, 30));
    ASSERT_TRUE(reading.has_value());
    ASSERT_EQ(reading->edges.size(), 2u);
    EXPECT_NEAR(reading->pixels, 12.4, 0.15);
    // Taken to the pixel only, the edges would sit on whole samples.
    EXPECT_GT(std::abs(reading->edges[0].along - std::round(reading->edges[0].along)), 0.05);
    // A line over plain ground finds nothing to measure.
    EXPECT_FALSE(MeasureWithCaliper(picture, QPointF(5, 30), QPointF(50, 30)).has_value());
}
