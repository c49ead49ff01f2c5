#include "measure/LiveMeasurement.h"
#include "CameraNoise.h"
#include "Micrometer.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

const LiveScale kAt1280{0.00125, true, false}; // the micrometer's truth at 1280 x 1024

} // namespace

TEST(LiveMeasurement, ACaliperOnTheLivePictureReadsATenthOfAMillimetreAndFollowsASizeChange)
{
    const Micrometer big = RenderMicrometer(1280, 1024);
    LiveMeasurement live;
    EXPECT_FALSE(live.Click({10, 10}, big.picture.size(), big.picture)); // no tool yet
    live.SetTool(LiveMeasurement::Tool::Caliper);
    const double y = big.baselineY - 0.04 * 1280;
    ASSERT_TRUE(live.Click({big.longLines[0] - 20, y}, big.picture.size(), AsACameraSeesIt(big.picture, 1)));
    ASSERT_TRUE(live.Click({big.longLines[1] + 20, y + 3}, big.picture.size(), AsACameraSeesIt(big.picture, 1)));
    ASSERT_EQ(live.Shapes().size(), 1u);
    ASSERT_TRUE(live.Shapes()[0].caliper.has_value());
    EXPECT_EQ(live.LabelOf(live.Shapes()[0], kAt1280), QString::fromUtf8("100.0 µm"));

    // 640 x 480: the shape stays on the specimen, measured again on the next frame.
    const Micrometer small = RenderMicrometer(640, 480);
    live.FollowCaptureSize(small.picture.size());
    EXPECT_NEAR(live.Shapes()[0].points[0].x(), (big.longLines[0] - 20) / 2, 1e-9);
    EXPECT_EQ(live.LabelOf(live.Shapes()[0], kAt1280), "no edges");
    live.Remeasure(AsACameraSeesIt(small.picture, 2));
    EXPECT_EQ(live.LabelOf(live.Shapes()[0], {0.0025, true, false}), QString::fromUtf8("100.0 µm"));
    // Kept as a line between the edges it found, for the still's overlay.
    const std::vector<OverlayShape> overlay = live.AsOverlay();
    ASSERT_EQ(overlay.size(), 1u);
    EXPECT_EQ(overlay[0].name, "Caliper");
    EXPECT_NEAR(overlay[0].points[1].x() - overlay[0].points[0].x(), 40, 0.3);
}

TEST(LiveMeasurement, LinesAndACountReadInTheirScaleOrSayWhichScaleTheyUse)
{
    LiveMeasurement live;
    const QImage frame(1280, 1024, QImage::Format_RGB32);
    live.SetTool(LiveMeasurement::Tool::Line);
    live.Click({100, 100}, frame.size(), frame);
    live.Click({100, 500}, frame.size(), frame);
    live.SetTool(LiveMeasurement::Tool::Count);
    for (int i = 0; i < 3; ++i) live.Click({200.0 + 10 * i, 300}, frame.size(), frame);
    ASSERT_EQ(live.Shapes().size(), 2u);
    EXPECT_EQ(live.LabelOf(live.Shapes()[0], kAt1280), QString::fromUtf8("500.0 µm"));
    EXPECT_EQ(live.LabelOf(live.Shapes()[0], {0.00125, false, true}), "0.500 mm (nominal scale)");
    EXPECT_EQ(live.LabelOf(live.Shapes()[0], {}), "400.0 px");
    // 3 marks over the view's 2.048 mm².
    EXPECT_EQ(live.CountReadout(kAt1280), QString::fromUtf8("3 marks, 1.5 per mm²"));
    EXPECT_EQ(live.CountReadout({}), "3 marks");
    // Drawn over the picture wherever it is shown: a line's end lands where the frame's point is.
    QImage view(640, 512, QImage::Format_RGB32);
    view.fill(Qt::black);
    {
        QPainter painter(&view);
        live.Draw(painter, view.rect(), kAt1280);
    }
    EXPECT_NE(view.pixel(50, 150), qRgb(0, 0, 0)); // on the line (100, 300) of the frame
    EXPECT_EQ(view.pixel(300, 450), qRgb(0, 0, 0));
    live.Clear();
    EXPECT_TRUE(live.Empty());
}

TEST(LiveMeasurement, ACircleThroughThreeClicksAndAnAngleAtTheMiddleClick)
{
    LiveMeasurement live;
    const QImage frame(1280, 1024, QImage::Format_RGB32);
    live.SetTool(LiveMeasurement::Tool::Circle);
    for (const QPointF p : {QPointF(100, 100), QPointF(300, 100), QPointF(200, 200)})
        live.Click(p, frame.size(), frame);
    live.SetTool(LiveMeasurement::Tool::Angle);
    for (const QPointF p : {QPointF(500, 300), QPointF(400, 300), QPointF(400, 200)})
        live.Click(p, frame.size(), frame);
    ASSERT_EQ(live.Shapes().size(), 2u);
    EXPECT_EQ(live.LabelOf(live.Shapes()[0], kAt1280), QString::fromUtf8("\u2300 250.0 µm"));
    EXPECT_EQ(live.LabelOf(live.Shapes()[1], kAt1280), QString::fromUtf8("90.0\u00b0"));
    const std::vector<OverlayShape> overlay = live.AsOverlay();
    ASSERT_EQ(overlay.size(), 2u);
    EXPECT_EQ(overlay[0].kind, OverlayShape::Kind::Oval);
    EXPECT_EQ(overlay[0].points[0], QPointF(100, 0));
    EXPECT_EQ(overlay[0].points[1], QPointF(300, 200));
    EXPECT_EQ(overlay[1].kind, OverlayShape::Kind::Angle);
    EXPECT_EQ(overlay[1].points[1], QPointF(400, 300)); // the vertex in the middle, as ImageJ has it
}
