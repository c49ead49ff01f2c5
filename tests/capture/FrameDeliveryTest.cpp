#include "FrameDelivery.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FrameDeliveryTest : public ::testing::Test {
protected:
    FrameDeliveryTest()
        : callback_(held_, stills_, [this] { ++framesReady_; }, [this](StillSource s) { stillsDue_.push_back(s); })
    {
        callback_.SetFrameSize(4, 2);
    }
    void Deliver(std::uint8_t fill, std::size_t length = 24)
    {
        std::vector<std::uint8_t> frame(length, fill);
        callback_.BufferCB(fill, frame.data(), frame.size());
    }
    std::uint8_t HeldFirstByte() const
    {
        return held_.With([](const FrameBufferData& f) { return f.pixels ? f.pixels[0] : std::uint8_t{0}; });
    }
    std::size_t HeldCapacity() const
    {
        return held_.With([](const FrameBufferData& f) { return f.capacity; });
    }

    HeldFrame held_;
    StillTrigger stills_;
    CFrameCallback callback_;
    int framesReady_ = 0;
    std::vector<StillSource> stillsDue_;
};

} // namespace

TEST_F(FrameDeliveryTest, PixelMemoryGrowsOnlyWhenAFrameIsLarger)
{
    Deliver(1, 24);
    EXPECT_EQ(HeldCapacity(), 24u);
    const std::uint8_t* first = held_.With([](const FrameBufferData& f) { return f.pixels.get(); });
    Deliver(2, 12);
    EXPECT_EQ(HeldCapacity(), 24u);
    EXPECT_EQ(held_.With([](const FrameBufferData& f) { return f.pixels.get(); }), first);
    Deliver(3, 48);
    EXPECT_EQ(HeldCapacity(), 48u);
    EXPECT_EQ(held_.With([](const FrameBufferData& f) { return f.header.sizeImage; }), 4u * 2u * 3u);
    EXPECT_EQ(framesReady_, 3);
    EXPECT_TRUE(stillsDue_.empty());
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
