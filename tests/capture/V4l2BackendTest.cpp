#include "CaptureGraph.h"
#include "FakeV4l2Camera.h"
#include "TestSupport.h"
#include "capture/backend/V4l2Backend.h"
#include "capture/backend/V4l2Source.h"

#include <linux/videodev2.h>

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace backend;

namespace {

class FakeNodes : public VideoNodeSource {
public:
    explicit FakeNodes(FakeV4l2Camera& camera) : camera_(camera) {}
    std::vector<VideoNode> CaptureNodes() override { return {camera_.Node()}; }
    std::vector<std::string> UsbHardwareIds() override { return {"USB\\Vid_8087&Pid_0024", "USB\\Vid_5e1a&Pid_2c07"}; }

private:
    FakeV4l2Camera& camera_;
};

class Recorder : public SampleGrabberCallback {
public:
    explicit Recorder(char tag, std::vector<char>* order = nullptr, std::mutex* mutex = nullptr)
        : tag_(tag), order_(order), mutex_(mutex)
    {
    }
    void BufferCB(double, const std::uint8_t* buffer, std::size_t length) override
    {
        if (order_) {
            std::lock_guard lock(*mutex_);
            order_->push_back(tag_);
        }
        first = buffer[0];
        lengthSeen = length;
        ++count;
    }
    std::atomic<int> count{0};
    std::atomic<std::uint8_t> first{0};
    std::atomic<std::size_t> lengthSeen{0};

private:
    char tag_;
    std::vector<char>* order_;
    std::mutex* mutex_;
};

class V4l2BackendTest : public ::testing::Test {
protected:
    V4l2BackendTest() : backend_(camera_.Calls(), std::make_unique<FakeNodes>(camera_), false) {}
    std::unique_ptr<CaptureSource> Open()
    {
        std::vector<CatalogueEntry> devices;
        EXPECT_TRUE(backend_.ListDevices(devices));
        return devices.empty() ? nullptr : backend_.OpenSource(*devices[0].handle);
    }
    FakeV4l2Camera camera_;
    V4l2Backend backend_;
};

} // namespace

TEST_F(V4l2BackendTest, ListsTheCameraWithItsUsbIdentifierAndAnswersPresence)
{
    std::vector<CatalogueEntry> devices;
    ASSERT_TRUE(backend_.ListDevices(devices));
    ASSERT_EQ(devices.size(), 1u);
    const std::u16string& name = devices[0].displayName;
    EXPECT_NE(name.find(u"Vid_5e1a&Pid_2c07"), std::u16string::npos);
    EXPECT_EQ(devices[0].friendlyName, u"QRV-DM500 (fake)");
    std::vector<CatalogueEntry> again;
    backend_.ListDevices(again);
    EXPECT_TRUE(devices[0].handle->IsEqual(*again[0].handle));
    EXPECT_TRUE(backend_.IsHardwareIdPresent("USB\\VID_5E1A&PID_2C07"));
    EXPECT_FALSE(backend_.IsHardwareIdPresent("USB\\Vid_5e1a&Pid_2c07&Rev_0100"));
}

TEST_F(V4l2BackendTest, FormatsMapToTheRecordAndRefusedSizesFail)
{
    auto source = Open();
    ASSERT_TRUE(source);
    VideoInfoHeader format;
    ASSERT_EQ(source->GetFormat(format), kOk);
    EXPECT_EQ(format.width, 640);
    EXPECT_EQ(format.bitCount, 16);
    EXPECT_EQ(format.compression, static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV));
    EXPECT_EQ(format.averageTimePerFrame, 333333);
    format.width = 1280;
    format.height = 1024;
    format.averageTimePerFrame = 666666;
    EXPECT_EQ(source->SetFormat(format), kOk);
    ASSERT_EQ(source->GetFormat(format), kOk);
    EXPECT_EQ(format.width, 1280);
    EXPECT_EQ(format.averageTimePerFrame, 666666);
    format.width = 800;
    format.height = 600;
    EXPECT_LT(source->SetFormat(format), 0); // the camera answers with another size
}

TEST_F(V4l2BackendTest, StreamsBottomUpBgrFramesAndTheButtonGoesFirst)
{
    auto source = Open();
    std::vector<char> order;
    std::mutex mutex;
    Recorder capture('c', &order, &mutex), still('s', &order, &mutex);
    ASSERT_EQ(source->ConnectGrabber(0, "StillGrabber", true, &capture), kOk);
    ASSERT_EQ(source->ConnectGrabber(1, "SampleGrabber", false, &still), kOk);
    ASSERT_EQ(source->Run(), kOk);
    EXPECT_EQ(camera_.PixelFormat(), static_cast<std::uint32_t>(V4L2_PIX_FMT_BGR24)); // converted by libv4l2
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 5; }));
    EXPECT_EQ(capture.lengthSeen.load(), 640u * 480u * 3u);
    EXPECT_EQ(capture.first.load(), 479 % 251); // the first row delivered is the picture's last
    camera_.PressButton();
    ASSERT_TRUE(WaitUntil([&] { return still.count == 1 && capture.count >= 8; }));
    source->Stop();
    std::lock_guard lock(mutex);
    const auto s = std::find(order.begin(), order.end(), 's');
    ASSERT_NE(s + 1, order.end());
    EXPECT_EQ(*(s + 1), 'c');
    EXPECT_EQ(camera_.MappedBuffers(), 0);
}

TEST_F(V4l2BackendTest, UnpluggingMidStreamEndsTheStreamCleanly)
{
    auto source = Open();
    Recorder capture('c');
    std::atomic<int> wakes{0};
    source->SetEventNotify([&] { ++wakes; });
    source->ConnectGrabber(0, "StillGrabber", true, &capture);
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return capture.count > 0; }));
    camera_.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return wakes > 0; }));
    long code = 0, p1 = 0, p2 = 0;
    ASSERT_TRUE(source->GetEvent(code, p1, p2));
    EXPECT_EQ(code, kEventDeviceLost);
    const int frames = capture.count;
    QThread::msleep(100);
    EXPECT_EQ(capture.count.load(), frames);
    source->Stop(); // returns, nothing hangs
    source.reset();
    EXPECT_EQ(camera_.OpenFds(), 0);
    // The unplugged camera cannot be opened again.
    EXPECT_EQ(Open(), nullptr);
}

TEST_F(V4l2BackendTest, PictureControlsAreTheVideoProperties)
{
    auto source = Open();
    PropertyRange range;
    ASSERT_EQ(source->GetRange(VideoProcAmp_Brightness, range), kOk);
    EXPECT_EQ(range.maximum, 255);
    EXPECT_EQ(range.defaultValue, 128);
    EXPECT_EQ(source->Set(VideoProcAmp_Brightness, 200, kVideoProcAmpFlagsManual), kOk);
    int value = 0, flags = 0;
    ASSERT_EQ(source->Get(VideoProcAmp_Brightness, value, flags), kOk);
    EXPECT_EQ(value, 200);
    EXPECT_NE(source->GetRange(VideoProcAmp_Gamma, range), kOk); // the camera has no gamma
    EXPECT_EQ(source->AnalogInputCount(), 0);                    // a camera input, not analog
}

TEST_F(V4l2BackendTest, TheEngineRunsTheCameraAtTheDefaultSize)
{
    QTemporaryDir dir;
    QObject receiver;
    CCaptureGraph engine(backend_, dir.path() + "/CapConfig.dat");
    engine.SetNotifyWindows(&receiver, &receiver);
    engine.CreateDeviceEnumerator();
    ASSERT_TRUE(engine.RefreshDeviceList());
    ASSERT_TRUE(engine.BuildGraph());
    ASSERT_TRUE(engine.ConnectPreview());
    ASSERT_TRUE(engine.StartPreview());
    EXPECT_EQ(CaptureWidth.load(), 1280);
    EXPECT_TRUE(engine.IsDevicePresent());
    engine.StopPreview();
    engine.TearDownDownstream();
    engine.ReleaseAll();
}
