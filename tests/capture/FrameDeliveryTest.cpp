#include "AppMessages.h"
#include "FrameDelivery.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <vector>

namespace {
class StillReceiver : public QObject {
public:
    std::vector<std::uintptr_t> stills;
    bool event(QEvent* event) override
    {
        if (AppMessageEvent::IsAppMessage(event)) {
            auto* message = static_cast<AppMessageEvent*>(event);
            if (message->Message() == WM_CAPTURE_STILL) stills.push_back(message->WParam());
            return true;
        }
        return QObject::event(event);
    }
};

class FrameDeliveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StillRequested = 0;
        StillFromButton = 0;
        FrameBuffer().Free();
        FrameCallback().notifyWindow = &receiver_;
        FrameCallback().sink = nullptr;
        FrameCallback().width = 4;
        FrameCallback().height = 2;
    }
    void TearDown() override { FrameCallback().notifyWindow = nullptr; }
    void Deliver(std::uint8_t fill, std::size_t length = 24)
    {
        std::vector<std::uint8_t> frame(length, fill);
        FrameCallback().BufferCB(fill, frame.data(), frame.size());
        QCoreApplication::sendPostedEvents(&receiver_);
    }
    StillReceiver receiver_;
};
} // namespace

TEST_F(FrameDeliveryTest, PixelMemoryGrowsOnlyWhenAFrameIsLarger)
{
    Deliver(1, 24);
    EXPECT_EQ(FrameBuffer().capacity, 24u);
    const std::uint8_t* first = FrameBuffer().pixels.get();
    Deliver(2, 12);
    EXPECT_EQ(FrameBuffer().capacity, 24u);
    EXPECT_EQ(FrameBuffer().pixels.get(), first);
    Deliver(3, 48);
    EXPECT_EQ(FrameBuffer().capacity, 48u);
    EXPECT_EQ(FrameBuffer().header.sizeImage, 4u * 2u * 3u);
    EXPECT_EQ(FrameBuffer().header.bitCount, 24);
    EXPECT_TRUE(receiver_.stills.empty());
}

TEST_F(FrameDeliveryTest, AKeyboardStillKeepsTheFrameBeforeTheRequest)
{
    Deliver(7);
    StillFromButton = 0;
    StillRequested = 1;
    Deliver(8);
    Deliver(9);
    EXPECT_EQ(FrameBuffer().pixels[0], 7); // frozen at the frame before the request
    EXPECT_EQ(FrameBuffer().sampleTime, 7.0);
    EXPECT_EQ(receiver_.stills, (std::vector<std::uintptr_t>{0, 0})); // every frame posts again
    StillRequested = 0;
    Deliver(10);
    EXPECT_EQ(FrameBuffer().pixels[0], 10);
    EXPECT_EQ(receiver_.stills.size(), 2u);
}

TEST_F(FrameDeliveryTest, AButtonStillTakesTheCurrentFrame)
{
    Deliver(7);
    StillTriggerCallback().BufferCB(0, nullptr, 0);
    EXPECT_EQ(StillRequested.load(), 1);
    EXPECT_EQ(StillFromButton.load(), 1);
    Deliver(8);
    EXPECT_EQ(FrameBuffer().pixels[0], 8);
    EXPECT_EQ(receiver_.stills, (std::vector<std::uintptr_t>{1}));
}

TEST_F(FrameDeliveryTest, ARequestBeforeAnyFrameTakesTheFirstFrame)
{
    StillRequested = 1;
    Deliver(5);
    ASSERT_TRUE(FrameBuffer().pixels);
    EXPECT_EQ(FrameBuffer().pixels[0], 5);
    StillRequested = 0;
}

namespace {
std::vector<std::pair<const std::uint8_t*, std::size_t>> recorded;
void RecordFrame(const std::uint8_t* buffer, std::size_t length)
{
    recorded.emplace_back(buffer, length);
}
} // namespace

TEST_F(FrameDeliveryTest, ARunningRecordingGetsTheDeliveredBuffer)
{
    WriteRecordingFrame = &RecordFrame;
    RecordingActive = 1;
    std::vector<std::uint8_t> frame(24, 3);
    FrameCallback().BufferCB(0, frame.data(), frame.size());
    RecordingActive = 0;
    FrameCallback().BufferCB(0, frame.data(), frame.size());
    WriteRecordingFrame = nullptr;
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].first, frame.data()); // the buffer itself, not the copy
}
