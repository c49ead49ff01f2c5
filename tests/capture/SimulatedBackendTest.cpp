#include "capture/backend/SimulatedBackend.h"
#include "TestSupport.h"
#include "capture/backend/SimulatedSource.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace backend;

namespace {
class CountingGrabber : public SampleGrabberCallback {
public:
    void BufferCB(double, const std::uint8_t* buffer, std::size_t length) override
    {
        std::lock_guard lock(mutex);
        ++count;
        lastLength = length;
        lastFirstRow.assign(buffer, buffer + std::min<std::size_t>(length, 64));
    }
    std::mutex mutex;
    std::atomic<int> count{0};
    std::size_t lastLength = 0;
    std::vector<std::uint8_t> lastFirstRow;
};

std::unique_ptr<CaptureSource> OpenMicroscope(SimulatedBackend& backend)
{
    std::vector<CatalogueEntry> devices;
    EXPECT_TRUE(backend.ListDevices(devices));
    return devices.empty() ? nullptr : backend.OpenSource(*devices.front().handle);
}
} // namespace

TEST(SimulatedBackend, ListsTheMicroscopeWithItsUsbIdentifier)
{
    SimulatedBackend backend;
    std::vector<CatalogueEntry> devices;
    ASSERT_TRUE(backend.ListDevices(devices));
    ASSERT_EQ(devices.size(), 1u);
    const std::u16string& name = devices[0].displayName;
    EXPECT_NE(name.find(u"Vid_5e1a&Pid_2c07"), std::u16string::npos);
    EXPECT_FALSE(devices[0].friendlyName.empty());
    std::vector<CatalogueEntry> again;
    backend.ListDevices(again);
    EXPECT_TRUE(devices[0].handle->IsEqual(*again[0].handle));
    EXPECT_TRUE(backend.IsHardwareIdPresent("usb\\VID_5E1A&PID_2C07"));
    EXPECT_FALSE(backend.IsHardwareIdPresent("USB\\Vid_5e1a&Pid_2c07&Rev_0100"));
}

TEST(SimulatedBackend, DeliversBottomUpRowsAtTheNegotiatedSize)
{
    SimulatedBackend backend;
    auto source = OpenMicroscope(backend);
    ASSERT_TRUE(source);
    VideoInfoHeader format;
    ASSERT_EQ(source->GetFormat(format), Result::Ok);
    format.width = 320;
    format.height = 240;
    format.averageTimePerFrame = 333333;
    ASSERT_EQ(source->SetFormat(format), Result::Ok);
    format.width = 333; // not a size the camera has
    EXPECT_EQ(source->SetFormat(format), Result::InvalidArgument);

    CountingGrabber frames;
    ASSERT_EQ(source->ConnectGrabber(0, &frames), Result::Ok);
    EXPECT_EQ(source->ConnectGrabber(0, &frames), Result::AlreadyConnected);
    ASSERT_EQ(source->Run(), Result::Ok);
    EXPECT_TRUE(WaitUntil([&] { return frames.count >= 3; }));
    source->Stop();
    EXPECT_EQ(frames.lastLength, 320u * 240u * 3u);
}

TEST(SimulatedBackend, StopEndsEveryCallbackBeforeItReturns)
{
    SimulatedBackend backend;
    auto source = OpenMicroscope(backend);
    class SlowGrabber : public SampleGrabberCallback {
    public:
        std::atomic<bool> inside{false};
        std::atomic<int> count{0};
        void BufferCB(double, const std::uint8_t*, std::size_t) override
        {
            inside = true;
            QThread::msleep(30);
            ++count;
            inside = false;
        }
    } grabber;
    source->ConnectGrabber(0, &grabber);
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return grabber.inside.load(); }));
    source->Stop();
    EXPECT_FALSE(grabber.inside.load());
    const int count = grabber.count;
    QThread::msleep(150);
    EXPECT_EQ(grabber.count.load(), count);
}

TEST(SimulatedBackend, TheStillButtonSendsAFrameOnTheStillOutputFirst)
{
    SimulatedBackend backend;
    auto source = OpenMicroscope(backend);
    std::vector<char> order;
    std::mutex mutex;
    class Recorder : public SampleGrabberCallback {
    public:
        Recorder(std::vector<char>& o, std::mutex& m, char tag) : order(o), mutex(m), tag(tag) {}
        void BufferCB(double, const std::uint8_t*, std::size_t) override
        {
            std::lock_guard lock(mutex);
            order.push_back(tag);
        }
        std::vector<char>& order;
        std::mutex& mutex;
        char tag;
    } capture(order, mutex, 'c'), still(order, mutex, 's');
    source->ConnectGrabber(0, &capture);
    source->ConnectGrabber(1, &still);
    source->Run();
    WaitUntil([&] {
        std::lock_guard lock(mutex);
        return order.size() >= 2;
    });
    backend.Microscope()->PressStillButton();
    WaitUntil([&] {
        std::lock_guard lock(mutex);
        return std::count(order.begin(), order.end(), 's') == 1 && order.back() == 'c';
    });
    source->Stop();
    const auto s = std::find(order.begin(), order.end(), 's');
    ASSERT_NE(s, order.end());
    ASSERT_NE(s + 1, order.end());
    EXPECT_EQ(*(s + 1), 'c');
    EXPECT_EQ(std::count(order.begin(), order.end(), 's'), 1);
}

TEST(SimulatedBackend, UnplugStopsFramesReportsTheLossAndNotifies)
{
    SimulatedBackend backend;
    std::vector<DeviceNotification> notifications;
    backend.SetDeviceNotify([&](DeviceNotification n) { notifications.push_back(n); });
    auto source = OpenMicroscope(backend);
    CountingGrabber frames;
    std::atomic<int> lost{0};
    source->SetEventSink([&](StreamEvent event) {
        if (event == StreamEvent::DeviceLost) ++lost;
    });
    source->ConnectGrabber(0, &frames);
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return frames.count > 0; }));

    backend.Unplug(backend.Microscope());
    EXPECT_FALSE(backend.IsHardwareIdPresent(SimulatedBackend::kMicroscopeHardwareId));
    EXPECT_EQ(notifications,
              (std::vector<DeviceNotification>{DeviceNotification::NodesChanged, DeviceNotification::RemoveComplete}));
    EXPECT_TRUE(WaitUntil([&] { return lost > 0; }));
    const int count = frames.count;
    QThread::msleep(200);
    EXPECT_EQ(frames.count.load(), count);
    source->Stop(); // returns although the camera is gone
    std::vector<CatalogueEntry> devices;
    EXPECT_FALSE(backend.ListDevices(devices));
}

TEST(SimulatedBackend, VideoPropertiesHaveRangesAndChangeThePicture)
{
    SimulatedBackend backend;
    auto source = OpenMicroscope(backend);
    PropertyRange range;
    ASSERT_EQ(source->GetRange(VideoProcAmp_Brightness, range), Result::Ok);
    EXPECT_LT(range.minimum, range.maximum);
    int value = 0, flags = 0;
    ASSERT_EQ(source->Get(VideoProcAmp_Gamma, value, flags), Result::Ok);
    EXPECT_EQ(value, 100);
    EXPECT_EQ(source->Set(VideoProcAmp_Brightness, range.maximum + 1, 2), Result::InvalidArgument);
    EXPECT_EQ(source->Set(VideoProcAmp_Brightness, range.maximum, 2), Result::Ok);
    EXPECT_FALSE(backend.Microscope()->ToneTable().empty());
    EXPECT_EQ(source->AnalogInputCount(), 0);
}
