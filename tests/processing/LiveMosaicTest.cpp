#include "processing/LiveMosaic.h"
#include "capture/backend/SlideRenderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

constexpr int kWidth = 320, kHeight = 240;

Frame StageFrame(const SlideRenderer& slide, StagePosition stage, bool blank = false)
{
    Frame frame;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.stride = Frame::StrideOf(kWidth);
    frame.pixels.resize(frame.Bytes());
    SimulatedOptics optics;
    optics.stage = stage;
    optics.blankField = blank;
    std::vector<std::uint8_t> pixels(slide.FrameBytes());
    slide.RenderFrame(0, pixels.data(), nullptr, optics);
    for (int y = 0; y < kHeight; ++y)
        std::copy_n(&pixels[SlideRenderer::StrideOf(kWidth) * static_cast<std::size_t>(y)], kWidth * 3, frame.Row(y));
    return frame;
}

void WaitUntilIdle(const LiveMosaic& mosaic)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!mosaic.Idle() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// Whether the frame's top-right corner (where the map goes) differs from the slide's.
bool MapShown(const Frame& shown, const Frame& live)
{
    for (int y = 8; y < 40; ++y)
        if (!std::equal(shown.Row(y) + (kWidth - 60) * 3, shown.Row(y) + (kWidth - 10) * 3,
                        live.Row(y) + (kWidth - 60) * 3))
            return true;
    return false;
}

} // namespace

TEST(LiveMosaic, FramesThroughTheStepGrowTheMosaicAndShowItsMapAndLostTracking)
{
    SlideRenderer slide;
    slide.Prepare(kWidth, kHeight, Slide::Stage);
    LiveMosaic mosaic;
    Frame untouched = StageFrame(slide, {2000, 1500});
    const std::vector<std::uint8_t> before = untouched.pixels;
    mosaic.Process(untouched); // not running: frames pass as they are
    EXPECT_EQ(untouched.pixels, before);

    mosaic.Start({"lost", "blank", "limit", "size"});
    Frame shown, live;
    for (int x = 2000; x <= 3600; x += 160) { // a field across, a tenth at a time
        shown = live = StageFrame(slide, {x, 1500});
        mosaic.Process(shown);
        WaitUntilIdle(mosaic);
    }
    EXPECT_GE(mosaic.Pictures(), 3);
    EXPECT_EQ(mosaic.Lost(), Mosaic::LostReason::None);
    shown = live = StageFrame(slide, {3600, 1500});
    mosaic.Process(shown);
    EXPECT_TRUE(MapShown(shown, live));

    Frame glass = StageFrame(slide, {3600, 1500}, true);
    mosaic.Process(glass);
    WaitUntilIdle(mosaic);
    EXPECT_EQ(mosaic.Lost(), Mosaic::LostReason::Blank);

    // The capture size changes: said, and the mosaic so far is kept.
    const int keys = mosaic.Pictures();
    SlideRenderer smaller;
    smaller.Prepare(160, 120, Slide::Stage);
    Frame other;
    other.width = 160;
    other.height = 120;
    other.stride = Frame::StrideOf(160);
    other.pixels.resize(other.Bytes());
    smaller.RenderFrame(0, other.pixels.data(), nullptr, {});
    mosaic.Process(other);
    WaitUntilIdle(mosaic);
    EXPECT_TRUE(mosaic.CaptureSizeChanged());
    EXPECT_EQ(mosaic.Pictures(), keys);

    const std::unique_ptr<Mosaic> done = mosaic.Stop();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->KeyCount(), mosaic.Pictures());
    EXPECT_FALSE(mosaic.Running());

    // Cancelled: nothing to keep.
    mosaic.Start({"lost", "blank", "limit", "size"});
    Frame again = StageFrame(slide, {2000, 1500});
    mosaic.Process(again);
    WaitUntilIdle(mosaic);
    mosaic.Cancel();
    EXPECT_FALSE(mosaic.Stop());
}
