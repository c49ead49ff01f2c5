#include "measure/MeasureGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
// The nominal scale of a picture shown in a view `viewWidth` wide, at rate R.
Calibration Nominal(int rate, QSize picture = {640, 480}, int viewWidth = 640)
{
    Calibration c;
    c.millimetresPerPicturePixel = NominalMillimetresPerPicturePixel(rate, picture, viewWidth);
    c.mapping = LetterboxMapping(picture, {viewWidth, viewWidth * 3 / 4});
    return c;
}
const Calibration k640 = Nominal(97); // 640 x 480 picture, rate box 200

std::vector<QString> Labels(ShapeKind kind, std::vector<QPoint> points, Calibration c = k640)
{
    return MeasureLabels(kind, points, c).value_or(std::vector<QString>{"<none>"});
}
} // namespace

TEST(Calibration, RateFromTheBoxByPictureSize)
{
    EXPECT_EQ(CalibrationRate(200, 640, 480), 97);
    EXPECT_EQ(CalibrationRate(200, 1280, 1024), 197);
    EXPECT_EQ(CalibrationRate(30, 640, 480), 15);
    EXPECT_EQ(CalibrationRate(44, 640, 480), 19);
    EXPECT_EQ(CalibrationRate(21, 1280, 1024), 18);
    EXPECT_EQ(CalibrationRate(80, 320, 240), 20);
    EXPECT_EQ(CalibrationRate(96, 320, 240), 21);
    EXPECT_FALSE(CalibrationRate(0, 640, 480));
    EXPECT_FALSE(CalibrationRate(1, 640, 480)); // 1 div 2 = 0: no sensible rate
    EXPECT_FALSE(CalibrationRate(-12, 1280, 1024));
    EXPECT_DOUBLE_EQ(PixelFactor(1280, 1024), 0.05926);
    EXPECT_DOUBLE_EQ(PixelFactor(640, 480), 0.02963);
}

TEST(Labels, TheWorkedValues)
{
    EXPECT_EQ(Labels(ShapeLine, {{100, 100}, {200, 100}}), std::vector<QString>{"dist:0.31mm"});
    EXPECT_EQ(Labels(ShapeRectangle, {{100, 100}, {200, 150}}),
              (std::vector<QString>{"area:0.05mm2", "width:0.31mm", "height:0.15mm"}));
    EXPECT_EQ(Labels(ShapeRectangle, {{200, 150}, {100, 100}}),
              (std::vector<QString>{"area:0.05mm2", "width:0.31mm", "height:0.15mm"}));
    EXPECT_EQ(Labels(ShapeRadiusCircle, {{100, 100}, {150, 100}}),
              (std::vector<QString>{"area:0.07mm2", "radius:0.15mm"}));
    // A 1280 x 1024 picture is shown whole at 600 x 480: 100 view pixels are 213 of its own.
    EXPECT_EQ(Labels(ShapeLine, {{100, 100}, {200, 100}}, Nominal(197, {1280, 1024})),
              std::vector<QString>{"dist:0.32mm"});
    EXPECT_EQ(Labels(ShapeDiameterCircle, {{100, 100}, {200, 100}}),
              (std::vector<QString>{"area:0.07mm2", "diameter:0.31mm"}));
}

TEST(Angles, BetweenArmsAndBetweenLines)
{
    EXPECT_NEAR(AngleBetweenLines({0, 0}, {100, 0}, {0, 0}, {0, 100}), 90.0, 1e-5);
    EXPECT_EQ(Labels(ShapeAngle, {{100, 0}, {0, 100}, {0, 0}}), std::vector<QString>{QString("90.0") + QChar(0xB0)});
    // Collinear, the vertex between the others: 0, not 180.
    EXPECT_EQ(Labels(ShapeAngle, {{-100, 0}, {100, 0}, {0, 0}}), std::vector<QString>{QString("0.0") + QChar(0xB0)});
    EXPECT_EQ(Labels(ShapeFourPointAngle, {{0, 0}, {100, 0}, {0, 10}, {100, 110}}),
              std::vector<QString>{QString("45.0") + QChar(0xB0)});
    EXPECT_EQ(AngleBetweenLines({5, 0}, {5, 10}, {7, 0}, {7, 10}), 0.0);              // both vertical
    EXPECT_EQ(AngleBetweenLines({0, 0}, {10, 10}, {0, 5}, {10, 15}), 0.0);            // equal slopes
    EXPECT_NEAR(AngleBetweenLines({0, 0}, {0, 100}, {0, 0}, {100, 100}), 45.0, 1e-5); // first vertical
    // An arm without length gives 0, never NaN.
    const double repeated = AngleBetweenLines({50, 50}, {50, 50}, {50, 50}, {80, 90});
    EXPECT_FALSE(std::isnan(repeated));
    EXPECT_EQ(repeated, 0.0);
}

TEST(Labels, A1280x1024PictureIsMeasuredInItsOwnSquarePixels)
{
    // Picture points that fall on whole view pixels (every 32 picture pixels is 15 view pixels).
    const Calibration c = Nominal(197, {1280, 1024});
    auto view = [&c](int x, int y) {
        const QPointF v = c.mapping.ToView(QPointF(x, y));
        return QPoint(static_cast<int>(std::lround(v.x())), static_cast<int>(std::lround(v.y())));
    };
    // 640 picture pixels across and down read the same; across they read as the stretched
    // view always gave them (640 view pixels of the full-width picture were 1280 of its own).
    const auto across = Labels(ShapeLine, {view(320, 320), view(960, 320)}, c);
    EXPECT_EQ(across, Labels(ShapeLine, {view(320, 320), view(320, 960)}, c));
    EXPECT_EQ(across.front(), QString::asprintf("dist:%.2fmm", 320 * kPixelFactor * 2 * 10 / 197));
    // Angles are those of the specimen, not of a squashed view.
    EXPECT_EQ(Labels(ShapeAngle, {view(960, 320), view(320, 960), view(320, 320)}, c).front(),
              QString("90.0") + QChar(0xB0));
    EXPECT_EQ(Labels(ShapeAngle, {view(960, 960), view(960, 320), view(320, 320)}, c).front(),
              QString("45.0") + QChar(0xB0));
    // A square is a square: width and height alike, a circle's area from its true radius.
    const auto square = Labels(ShapeRectangle, {view(320, 320), view(960, 960)}, c);
    EXPECT_EQ(square[1].mid(6), square[2].mid(7)); // "width:" and "height:" carry one value
    EXPECT_TRUE(std::isfinite(c.mapping.scale));
    EXPECT_NEAR(c.mapping.scale, 1024.0 / 480, 1e-12);
    EXPECT_NEAR(c.mapping.origin.x(), 20, 1e-12);
}

TEST(ThreePointCircle, TheWorkedCircleAndTheUndefinedCases)
{
    // The exact circle through the three points: centre (191.76, 204.12), radius 104.44.
    const auto circle = CircleThroughThreePoints(QPoint(120, 280), QPoint(200, 100), QPoint(280, 260));
    ASSERT_TRUE(circle);
    EXPECT_EQ(circle->centre, QPoint(192, 204));
    EXPECT_NEAR(circle->radius, 104.44, 0.01);
    EXPECT_EQ(circle->drawnRadius, 104);
    EXPECT_EQ(Labels(ShapeThreePointCircle, {{120, 280}, {200, 100}, {280, 260}}),
              (std::vector<QString>{"area:0.32mm2", "radius:0.32mm"}));
    // Clicks on a circle of radius 100 about (320, 240): the chord-slope construction put it
    // at (319, 90) with radius 208.
    const auto clicked = CircleThroughThreePoints(QPoint(227, 277), QPoint(397, 176), QPoint(413, 276));
    ASSERT_TRUE(clicked);
    EXPECT_EQ(clicked->centre, QPoint(320, 240));
    EXPECT_EQ(clicked->drawnRadius, 100);
    EXPECT_EQ(Labels(ShapeThreePointCircle, {{227, 277}, {397, 176}, {413, 276}})[1], "radius:0.31mm");
    EXPECT_FALSE(CircleThroughThreePoints(QPoint(5, 5), QPoint(5, 5), QPoint(90, 10))); // a repeated point

    // A horizontal chord P1-P3 (both sides of a circle at one height): the true circle.
    const auto horizontal = CircleThroughThreePoints(QPoint(100, 200), QPoint(200, 100), QPoint(300, 200));
    ASSERT_TRUE(horizontal);
    EXPECT_EQ(horizontal->centre, QPoint(200, 200));
    EXPECT_EQ(horizontal->drawnRadius, 100);
    // A vertical chord P1-P2.
    const auto vertical = CircleThroughThreePoints(QPoint(100, 100), QPoint(100, 300), QPoint(200, 200));
    ASSERT_TRUE(vertical);
    EXPECT_EQ(vertical->centre, QPoint(100, 200));
    // Collinear points: no circle, and the shape is refused rather than labelled with nonsense.
    EXPECT_FALSE(CircleThroughThreePoints(QPoint(0, 0), QPoint(50, 50), QPoint(100, 100)));
    EXPECT_FALSE(MeasureLabels(ShapeThreePointCircle, {{0, 0}, {50, 50}, {100, 100}}, k640));
}

TEST(Polygon, PixelCountByTheEvenOddRule)
{
    EXPECT_EQ(PolygonPixelCount({{0, 0}, {10, 0}, {10, 10}, {0, 10}}), 100);
    EXPECT_EQ(PolygonPixelCount({{0, 0}, {10, 0}}), 0);
    // A bow tie crossing itself: the two triangles count, nothing twice.
    const long bowTie = PolygonPixelCount({{0, 0}, {20, 20}, {20, 0}, {0, 20}});
    EXPECT_GT(bowTie, 150);
    EXPECT_LT(bowTie, 250);
    EXPECT_EQ(PolygonPixelCount({{0, 0}, {640, 0}, {640, 480}, {0, 480}}), 640L * 480L);
}

TEST(LabelPositions, PerKind)
{
    MeasureShape line;
    line.kind = ShapeLine;
    line.points = {{101, 100}, {200, 151}};
    EXPECT_EQ(LabelPositions(line), std::vector<QPoint>{QPoint(150, 125)});
    MeasureShape circle;
    circle.kind = ShapeRadiusCircle;
    circle.points = {{50, 60}, {70, 60}};
    EXPECT_EQ(LabelPositions(circle), (std::vector<QPoint>{{50, 60}, {50, 72}}));
    MeasureShape four;
    four.kind = ShapeFourPointAngle;
    four.points = {{0, 0}, {100, 0}, {0, 10}, {100, 110}};
    EXPECT_EQ(LabelPositions(four), std::vector<QPoint>{QPoint(50, 30)});
}
