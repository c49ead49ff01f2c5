#include "processing/LiveFocusStack.h"
#include "capture/backend/ReliefSlide.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

Frame ReliefFrame(const ReliefSlide& specimen, int focus)
{
    Frame frame;
    frame.width = specimen.Width();
    frame.height = specimen.Height();
    frame.stride = Frame::StrideOf(frame.width);
    frame.pixels.resize(frame.Bytes());
    specimen.Render(focus, frame.pixels.data(), frame.stride);
    return frame;
}

void WaitUntilIdle(const LiveFocusStack& stack)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stack.Idle() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

} // namespace

TEST(LiveFocusStack, FramesThroughTheStepGrowTheStackWhichTheyThenShow)
{
    ReliefSlide specimen;
    specimen.Prepare(320, 256);
    LiveFocusStack stack;
    Frame untouched = ReliefFrame(specimen, 0);
    const std::vector<std::uint8_t> before = untouched.pixels;
    stack.Process(untouched); // not running: frames pass as they are
    EXPECT_EQ(untouched.pixels, before);

    stack.Start("size changed");
    Frame last;
    for (int focus = 0; focus <= 100; focus += 20) {
        last = ReliefFrame(specimen, focus);
        stack.Process(last);
        WaitUntilIdle(stack);
    }
    EXPECT_EQ(stack.Counted(), 6); // every step sharpened something
    // The next frame shows the stack, not itself: the board (focused at the first steps)
    // is sharp in it although this frame is focused on the components.
    Frame shown = ReliefFrame(specimen, 100);
    const std::vector<std::uint8_t> live = shown.pixels;
    stack.Process(shown);
    EXPECT_NE(shown.pixels, live);
    EXPECT_FALSE(stack.CaptureSizeChanged());

    // The capture size changes: the frames say so at their top right, and the stack so far
    // is kept.
    ReliefSlide smaller;
    smaller.Prepare(160, 128);
    Frame other = ReliefFrame(smaller, 50);
    stack.Process(other);
    WaitUntilIdle(stack);
    EXPECT_TRUE(stack.CaptureSizeChanged());
    Frame told = ReliefFrame(smaller, 50);
    const std::vector<std::uint8_t> plain = told.pixels;
    stack.Process(told);
    const auto topRightDiffers = [&] {
        for (int y = 8; y < 20; ++y)
            if (std::memcmp(told.Row(y) + 100 * 3, plain.data() + y * told.stride + 100 * 3, 50 * 3) != 0) return true;
        return false;
    };
    EXPECT_TRUE(topRightDiffers());

    const QImage result = stack.Stop();
    ASSERT_FALSE(result.isNull());
    EXPECT_EQ(result.size(), QSize(320, 256));
    EXPECT_FALSE(stack.Running());
}

TEST(LiveFocusStack, ACancelledStackLeavesNothing)
{
    ReliefSlide specimen;
    specimen.Prepare(160, 128);
    LiveFocusStack stack;
    stack.Start();
    Frame frame = ReliefFrame(specimen, 30);
    stack.Process(frame);
    stack.Cancel();
    EXPECT_FALSE(stack.Running());
    EXPECT_TRUE(stack.Stop().isNull());
}
