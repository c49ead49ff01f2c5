// The focus meter against the simulated microscope's focus knob: it rises to a clear peak at
// the best focus and falls on either side, and its best value follows the scene.
#include "processing/FocusMeter.h"
#include "capture/backend/SlideRenderer.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Frames a tenth of a second apart, as a camera delivers them.
Frame Render(const SlideRenderer& renderer, int focus, bool blank = false)
{
    static double time = 0;
    Frame frame;
    frame.time = time += 0.1;
    frame.width = renderer.Width();
    frame.height = renderer.Height();
    frame.stride = Frame::StrideOf(frame.width);
    frame.pixels.resize(frame.Bytes());
    SimulatedOptics optics;
    optics.focus = focus;
    optics.blankField = blank;
    renderer.RenderFrame(1.0, frame.pixels.data(), nullptr, optics);
    return frame;
}

} // namespace

TEST(FocusMeter, TurningTheKnobThroughFocusGivesOneClearPeakAtTheBestPosition)
{
    SlideRenderer renderer;
    renderer.Prepare(1280, 1024);
    FocusMeter meter;
    int bestPosition = -1;
    double bestValue = 0, first = 0, last = 0;
    for (int focus = 0; focus <= 100; focus += 4) {
        Frame frame = Render(renderer, focus);
        meter.Process(frame);
        if (focus == 0) first = meter.Sharpness();
        last = meter.Sharpness();
        if (meter.Sharpness() > bestValue) bestValue = meter.Sharpness(), bestPosition = focus;
    }
    EXPECT_NEAR(bestPosition, SimulatedOptics::kSimulatedBestFocus, 2);
    EXPECT_DOUBLE_EQ(meter.Best(), bestValue);
    // A clear peak: far out of focus reads a small fraction of it, at both ends.
    EXPECT_LT(first, bestValue * 0.2);
    EXPECT_LT(last, bestValue * 0.2);
    std::printf("[ figures  ] sharpness at focus 0 / 50 / 100: %.1f / %.1f / %.1f\n", first, bestValue, last);
}

TEST(FocusMeter, TheBestValueStartsAgainWithAnotherSceneAndPeakingMarksTheEdges)
{
    SlideRenderer renderer;
    renderer.Prepare(640, 480);
    FocusMeter meter;
    meter.SetPeaking(true);
    Frame sharp = Render(renderer, SimulatedOptics::kSimulatedBestFocus);
    meter.Process(sharp);
    const double best = meter.Best();
    Frame blurred = Render(renderer, 10);
    meter.Process(blurred);
    EXPECT_DOUBLE_EQ(meter.Best(), best); // the same scene: the best stays
    // Another scene (the lamp turned down to half): the best starts again from it.
    Frame dim = blurred;
    dim.time = blurred.time + 0.1;
    for (auto& v : dim.pixels) v = static_cast<std::uint8_t>(v / 2);
    meter.Process(dim);
    EXPECT_DOUBLE_EQ(meter.Best(), meter.Sharpness());
    EXPECT_LT(meter.Best(), best / 2);
    meter.ResetBest();
    blurred.time = dim.time + 0.1;
    meter.Process(blurred);
    EXPECT_DOUBLE_EQ(meter.Best(), meter.Sharpness());

    sharp.time = blurred.time + 0.1;
    meter.Process(sharp);
    const auto mask = meter.Mask();
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->width, FocusMeter::kReducedWidth);
    long marked = 0;
    for (const auto m : mask->marks) marked += m;
    const double share = static_cast<double>(marked) / mask->marks.size();
    EXPECT_GT(share, 0.005);
    EXPECT_LT(share, 0.06); // only the sharpest few per cent
}

// Clear glass has nothing to judge: the meter says so rather than read its noise as focus;
// the specimen, even well out of focus, has.
TEST(FocusMeter, ClearGlassHasNoDetailToJudge)
{
    SlideRenderer renderer;
    renderer.Prepare(640, 480);
    FocusMeter meter;
    Frame glass = Render(renderer, SimulatedOptics::kSimulatedBestFocus, true);
    meter.Process(glass);
    EXPECT_TRUE(meter.NothingToJudge());
    for (const int focus : {SimulatedOptics::kSimulatedBestFocus, 20}) {
        Frame specimen = Render(renderer, focus);
        meter.Process(specimen);
        EXPECT_FALSE(meter.NothingToJudge()) << "focus " << focus;
    }
}
