#include "capture/FrameDelivery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <thread>

#include <vector>

namespace {

class FrameDeliveryTest : public ::testing::Test {
protected:
    FrameDeliveryTest()
        : callback_(
              held_, stills_, [this] { ++framesReady_; }, [this](StillSource s) { stillsDue_.push_back(s); })
    {
        callback_.SetFrameSize(4, 2);
    }
    // One sample from the camera, through the processing stage.
    void Deliver(std::uint8_t fill, std::size_t length = 24)
    {
        std::vector<std::uint8_t> frame(length, fill);
        callback_.BufferCB(fill, frame.data(), frame.size());
        callback_.Flush();
    }
    std::uint8_t HeldFirstByte() const
    {
        return held_.With([](const Frame& f) { return f.Empty() ? std::uint8_t{0} : f.pixels[0]; });
    }

    HeldFrame held_;
    StillTrigger stills_;
    CFrameCallback callback_;
    int framesReady_ = 0;
    std::vector<StillSource> stillsDue_;
};

} // namespace

namespace {
// A step that records the thread it ran on and marks the frame.
class MarkingStep : public FrameStep {
public:
    void Process(Frame& frame) override
    {
        thread = std::this_thread::get_id();
        frame.pixels[1] = 99;
        ++count;
    }
    std::thread::id thread;
    std::atomic<int> count{0};
};
} // namespace

TEST_F(FrameDeliveryTest, FramesAreHeldTopDownFromAPoolAndAShortSampleIsNotHeld)
{
    Deliver(1);
    EXPECT_EQ(HeldFirstByte(), 1);
    EXPECT_EQ(held_.With([](const Frame& f) { return f.stride; }), 12u); // 4 pixels, padded to 4 bytes
    for (std::uint8_t i = 2; i < 40; ++i) Deliver(i);
    EXPECT_EQ(held_.With([](const Frame& f) { return f.sequence; }), 39u);
    EXPECT_EQ(framesReady_, 39);
    Deliver(50, 12); // half a frame
    EXPECT_EQ(HeldFirstByte(), 39);
    EXPECT_TRUE(stillsDue_.empty());
}

TEST_F(FrameDeliveryTest, StepsRunOnTheStagesOwnThreadAndWhatIsHeldIsProcessed)
{
    auto step = std::make_shared<MarkingStep>();
    callback_.SetSteps({step});
    Deliver(4);
    EXPECT_EQ(step->count.load(), 1);
    EXPECT_NE(step->thread, std::this_thread::get_id());
    EXPECT_EQ(held_.With([](const Frame& f) { return f.pixels[1]; }), 99);
    // A recording takes the same processed frame.
    SharedFrame recorded;
    callback_.SetRecordingTap([&](const SharedFrame& frame) { recorded = frame; });
    Deliver(5);
    callback_.SetRecordingTap(nullptr);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->pixels[0], 5);
    EXPECT_EQ(recorded->pixels[1], 99);
    EXPECT_EQ(recorded, held_.Get()); // shared, not copied
}

TEST(FrameStage, AWorkerBehindDropsTheOldestAndCountsIt)
{
    std::mutex gate;
    std::vector<std::uint64_t> handed;
    gate.lock(); // the worker waits on its first frame
    FrameStage stage([&](const SharedFrame& frame) {
        std::lock_guard lock(gate);
        handed.push_back(frame->sequence);
    });
    auto pool = FramePool::Create();
    for (std::uint64_t i = 1; i <= 6; ++i) {
        SharedFrame frame = pool->Acquire(2, 2);
        frame->sequence = i;
        stage.Submit(frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(i == 1 ? 50 : 1));
    }
    gate.unlock();
    stage.Flush();
    // The first went to the worker at once; of the five after it, the last two waited.
    EXPECT_EQ(handed, (std::vector<std::uint64_t>{1, 5, 6}));
    EXPECT_EQ(stage.Dropped(), 3u);
    EXPECT_LE(pool->Allocations(), 4u);
}

TEST_F(FrameDeliveryTest, AKeyboardStillKeepsTheFrameOnScreenAndIsAnnouncedOnce)
{
    Deliver(7);
    stills_.Request(StillSource::Keyboard);
    Deliver(8);
    Deliver(9);
    EXPECT_EQ(HeldFirstByte(), 7); // frozen at the frame the user saw
    EXPECT_EQ(stillsDue_, std::vector<StillSource>{StillSource::Keyboard});
    EXPECT_TRUE(stills_.Serve());
    EXPECT_FALSE(stills_.Serve()); // a second notification finds it served
    Deliver(10);
    EXPECT_EQ(HeldFirstByte(), 10);
    EXPECT_EQ(stillsDue_.size(), 1u);
}

TEST_F(FrameDeliveryTest, AButtonStillTakesTheFrameThatCameWithThePress)
{
    CStillTriggerCallback button(stills_);
    Deliver(7);
    button.BufferCB(0, nullptr, 0); // the still output goes first
    Deliver(8);
    EXPECT_EQ(HeldFirstByte(), 8);
    EXPECT_EQ(stillsDue_, std::vector<StillSource>{StillSource::CameraButton});
}

TEST_F(FrameDeliveryTest, ARequestBeforeAnyFrameTakesTheFirstFrameAndARearmAnnouncesAgain)
{
    stills_.Request(StillSource::Keyboard);
    Deliver(5);
    EXPECT_EQ(HeldFirstByte(), 5);
    ASSERT_EQ(stillsDue_.size(), 1u);
    stills_.Rearm(); // the save found no whole frame: the next frame tells again
    Deliver(6);
    EXPECT_EQ(stillsDue_.size(), 2u);
}

TEST_F(FrameDeliveryTest, AMotorisedFocusPositionGoesWithFramesOnceItHasStoodStill)
{
    // Frames with no position reported, then a position held: the first frames after it
    // (the lens may still move, or they were taken before) carry none; once it has stood for
    // a moment, every frame carries it; a new position starts the wait again.
    auto positionOfNext = [&](int sample, std::optional<int> focus) {
        if (focus) callback_.FocusPositionCB(sample, *focus);
        std::vector<std::uint8_t> frame(24, 1);
        callback_.BufferCB(sample, frame.data(), frame.size());
        callback_.Flush();
        return held_.With([](const Frame& f) { return f.focusPosition; });
    };
    int sample = 1;
    EXPECT_TRUE(std::isnan(positionOfNext(sample++, std::nullopt)));
    const auto start = std::chrono::steady_clock::now();
    double position = positionOfNext(sample++, 40);
    EXPECT_TRUE(std::isnan(position)); // reported just now
    while (std::isnan(position)) position = positionOfNext(sample++, 40);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              CFrameCallback::kFocusSettleSeconds);
    EXPECT_EQ(position, 40);
    EXPECT_EQ(positionOfNext(sample++, 40), 40);
    EXPECT_TRUE(std::isnan(positionOfNext(sample++, 41)));
    // A frame the camera sent without its position (turned by hand since) carries none.
    EXPECT_TRUE(std::isnan(positionOfNext(sample++, std::nullopt)));
}
