#include "capture/backend/V4l2Backend.h"
#include "FakeV4l2Camera.h"
#include "TestSupport.h"
#include "capture/CaptureGraph.h"
#include "capture/backend/V4l2Source.h"
#include "media/MotionJpeg.h"

#include <linux/videodev2.h>

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

using namespace backend;

namespace {

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
        // The last row's first byte: where a frame cut short on the wire would turn grey.
        const std::uint8_t lastRow = buffer[length - ((length / 480 + 3) & ~std::size_t{3})];
        if (expectedLast >= 0 && std::abs(lastRow - expectedLast) > 4) ++unexpectedLast;
        lengthSeen = length;
        if (std::memchr(buffer, FakeV4l2Camera::kPoison, length)) sawPoison = true;
        if (count == 0) firstFrameAt = std::chrono::steady_clock::now();
        lastFrameAt = std::chrono::steady_clock::now();
        ++count;
    }
    void CompressedCB(double, const std::uint8_t* bytes, std::size_t length) override
    {
        // As a UVC camera sends them: whole, without Huffman tables.
        if (IsWholeJpeg(bytes, length) && !HasHuffmanTables(bytes, length)) ++compressedAsSent;
        else ++compressedOther;
    }
    void FocusPositionCB(double, int position) override { focusPosition = position; }
    std::atomic<int> focusPosition{-1}; // the last the camera reported
    std::atomic<int> count{0};
    std::atomic<int> compressedAsSent{0};
    std::atomic<int> compressedOther{0};
    std::atomic<std::uint8_t> first{0};
    std::atomic<std::size_t> lengthSeen{0};
    std::atomic<bool> sawPoison{false};
    int expectedLast = -1; // the first byte of every frame's last row (480 rows), or -1
    std::atomic<int> unexpectedLast{0};
    std::chrono::steady_clock::time_point firstFrameAt{}, lastFrameAt{};

private:
    char tag_;
    std::vector<char>* order_;
    std::mutex* mutex_;
};

// The stream's events, as the streaming thread reports them.
class EventLog {
public:
    std::function<void(StreamEvent)> Sink()
    {
        return [this](StreamEvent event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        };
    }
    std::vector<StreamEvent> Seen() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<StreamEvent> events_;
};

class V4l2BackendTest : public ::testing::Test {
protected:
    V4l2BackendTest() : backend_(camera_.Calls(), std::make_unique<FakeV4l2Nodes>(camera_), false) {}
    std::unique_ptr<CaptureSource> Open()
    {
        std::vector<CatalogueEntry> devices;
        EXPECT_TRUE(backend_.ListDevices(devices));
        return devices.empty() ? nullptr : backend_.OpenSource(*devices[0].handle);
    }
    // Frames to `capture`, stream events to `events`.
    static void Wire(CaptureSource& source, Recorder& capture, EventLog& events)
    {
        source.SetEventSink(events.Sink());
        source.ConnectGrabber(0, &capture);
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
    ASSERT_EQ(source->GetFormat(format), Result::Ok);
    EXPECT_EQ(format.width, 640);
    EXPECT_EQ(format.bitCount, 16);
    EXPECT_EQ(format.compression, static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV));
    EXPECT_EQ(format.averageTimePerFrame, 333333);
    format.width = 1280;
    format.height = 1024;
    format.averageTimePerFrame = 666666;
    EXPECT_EQ(source->SetFormat(format), Result::Ok);
    ASSERT_EQ(source->GetFormat(format), Result::Ok);
    EXPECT_EQ(format.width, 1280);
    EXPECT_EQ(format.averageTimePerFrame, 666666);
    format.width = 800;
    format.height = 600;
    EXPECT_EQ(source->SetFormat(format), Result::InvalidArgument); // the camera answers with another size
}

TEST_F(V4l2BackendTest, StreamsTopDownBgrFramesAndTheButtonGoesFirst)
{
    auto source = Open();
    std::vector<char> order;
    std::mutex mutex;
    Recorder capture('c', &order, &mutex), still('s', &order, &mutex);
    ASSERT_EQ(source->ConnectGrabber(0, &capture), Result::Ok);
    ASSERT_EQ(source->ConnectGrabber(1, &still), Result::Ok);
    ASSERT_EQ(source->Run(), Result::Ok);
    EXPECT_EQ(camera_.PixelFormat(), static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV)); // its own format, converted here
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 5; }));
    EXPECT_EQ(capture.lengthSeen.load(), 640u * 480u * 3u);
    EXPECT_EQ(capture.first.load(), 0); // top-down: the first row delivered is the picture's first
    camera_.PressButton();
    ASSERT_TRUE(WaitUntil([&] { return still.count == 1 && capture.count >= 8; }));
    source->Stop();
    std::lock_guard lock(mutex);
    const auto s = std::find(order.begin(), order.end(), 's');
    ASSERT_NE(s + 1, order.end());
    EXPECT_EQ(*(s + 1), 'c');
    EXPECT_EQ(camera_.MappedBuffers(), 0);
}

TEST_F(V4l2BackendTest, AMotorisedFocusReportsItsPositionWithEachFrameOnlyWhileItIsNotAutomatic)
{
    camera_.AddControl(V4L2_CID_FOCUS_ABSOLUTE, 120);
    camera_.AddControl(V4L2_CID_FOCUS_AUTO, 1);
    auto source = Open();
    Recorder capture('c', nullptr, nullptr);
    ASSERT_EQ(source->ConnectGrabber(0, &capture), Result::Ok);
    ASSERT_EQ(source->Run(), Result::Ok);
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 3; }));
    EXPECT_EQ(capture.focusPosition.load(), -1); // automatic: the camera's own business
    ASSERT_EQ(source->Set(CameraControl_Focus, 140, kVideoProcAmpFlagsManual), Result::Ok);
    EXPECT_EQ(camera_.Control(V4L2_CID_FOCUS_AUTO), 0);
    EXPECT_TRUE(WaitUntil([&] { return capture.focusPosition == 140; }));
    source->Stop();
}

TEST_F(V4l2BackendTest, UnpluggingMidStreamEndsTheStreamCleanly)
{
    auto source = Open();
    Recorder capture('c');
    EventLog events;
    Wire(*source, capture, events);
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return capture.count > 0; }));
    camera_.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !events.Seen().empty(); }));
    EXPECT_EQ(events.Seen(), std::vector<StreamEvent>{StreamEvent::DeviceLost});
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
    ASSERT_EQ(source->GetRange(VideoProcAmp_Brightness, range), Result::Ok);
    EXPECT_EQ(range.maximum, 255);
    EXPECT_EQ(range.defaultValue, 128);
    EXPECT_EQ(source->Set(VideoProcAmp_Brightness, 200, kVideoProcAmpFlagsManual), Result::Ok);
    int value = 0, flags = 0;
    ASSERT_EQ(source->Get(VideoProcAmp_Brightness, value, flags), Result::Ok);
    EXPECT_EQ(value, 200);
    EXPECT_NE(source->GetRange(VideoProcAmp_Gamma, range), Result::Ok); // the camera has no gamma
    EXPECT_EQ(source->AnalogInputCount(), 0);                           // a camera input, not analog
}

TEST_F(V4l2BackendTest, TheEngineRunsTheCameraAtTheDefaultSize)
{
    QTemporaryDir dir;
    CCaptureGraph engine(backend_, dir.path() + "/CapConfig.dat");
    ASSERT_TRUE(engine.RefreshDeviceList());
    ASSERT_TRUE(engine.BuildGraph());
    ASSERT_TRUE(engine.ConnectPreview());
    ASSERT_TRUE(engine.StartPreview());
    EXPECT_EQ(engine.CaptureSize().width(), 1280);
    EXPECT_TRUE(engine.IsDevicePresent());
    engine.StopPreview();
    engine.TearDownDownstream();
    engine.ReleaseAll();
}

// ---- what real cameras do ----------------------------------------------------------------

TEST_F(V4l2BackendTest, BuffersFlaggedAsDamagedAreGivenBackAndNeverShown)
{
    auto source = Open();
    Recorder capture('c');
    source->ConnectGrabber(0, &capture);
    source->Run();
    // Every fifth buffer comes damaged (filled with poison): none of them reaches a grabber.
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 20; }));
    source->Stop();
    EXPECT_FALSE(capture.sawPoison.load());
    EXPECT_EQ(camera_.StreamOnCount(), 1); // an occasional damaged buffer is no reason to restart
}

TEST_F(V4l2BackendTest, OneEioFromDequeueIsRiddenOutWithoutARestart)
{
    camera_.ScriptFaults({FakeV4l2Camera::Fault::Eio, FakeV4l2Camera::Fault::Eagain});
    auto source = Open();
    Recorder capture('c');
    EventLog events;
    Wire(*source, capture, events);
    source->Run();
    // The buffer handed out with the EIO went back: all four keep circulating.
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 12; }));
    source->Stop();
    EXPECT_EQ(camera_.StreamOnCount(), 1);
    EXPECT_TRUE(events.Seen().empty());
    EXPECT_FALSE(capture.sawPoison.load());
}

TEST_F(V4l2BackendTest, ARunOfEioRestartsTheStreamOnceAndFramesFlowAgainWithinTwoSeconds)
{
    camera_.ScriptFaults(
        std::vector<FakeV4l2Camera::Fault>(V4l2Source::kErrorRunLimit + 2, FakeV4l2Camera::Fault::Eio));
    auto source = Open();
    Recorder capture('c');
    EventLog events;
    Wire(*source, capture, events);
    const auto started = std::chrono::steady_clock::now();
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 5; }, 3000));
    source->Stop();
    EXPECT_EQ(camera_.StreamOnCount(), 2); // restarted once
    EXPECT_LT(capture.firstFrameAt - started, std::chrono::seconds(2));
    EXPECT_TRUE(events.Seen().empty());
    EXPECT_EQ(camera_.MappedBuffers(), 0);
}

TEST_F(V4l2BackendTest, AStalledStreamIsRestartedAndReportedOnlyWhenTheRestartDoesNotHelp)
{
    auto source = Open();
    Recorder capture('c');
    EventLog events;
    Wire(*source, capture, events);
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 3; }));

    // A stall that a restart cures: frames come back, nothing is reported.
    camera_.Stall(true);
    const int before = capture.count;
    ASSERT_TRUE(WaitUntil([&] { return capture.count > before + 3; }, 4000));
    EXPECT_EQ(camera_.StreamOnCount(), 2);
    EXPECT_TRUE(events.Seen().empty());

    // A stall that a restart does not cure: the stream is reported failed.
    camera_.Stall(false);
    ASSERT_TRUE(WaitUntil([&] { return !events.Seen().empty(); }, 6000));
    EXPECT_EQ(events.Seen(), std::vector<StreamEvent>{StreamEvent::StreamFailed});
    EXPECT_EQ(camera_.StreamOnCount(), 3);
    source->Stop();
}

TEST_F(V4l2BackendTest, AStreamThatCannotBeRestartedIsReportedFailed)
{
    auto source = Open();
    Recorder capture('c');
    EventLog events;
    Wire(*source, capture, events);
    camera_.FailRestarts();
    source->Run();
    camera_.ScriptFaults(std::vector<FakeV4l2Camera::Fault>(V4l2Source::kErrorRunLimit, FakeV4l2Camera::Fault::Eio));
    ASSERT_TRUE(WaitUntil([&] { return !events.Seen().empty(); }, 3000));
    EXPECT_EQ(events.Seen(), std::vector<StreamEvent>{StreamEvent::StreamFailed});
    source->Stop(); // returns, nothing hangs
    source.reset();
    EXPECT_EQ(camera_.OpenFds(), 0);
    EXPECT_EQ(camera_.MappedBuffers(), 0);
}

TEST_F(V4l2BackendTest, PaddedRowsAreReadWithoutTheirPadding)
{
    camera_.SetRowPadding(64);
    camera_.SetOccasionalDamage(false);
    auto source = Open();
    Recorder capture('c');
    source->ConnectGrabber(0, &capture);
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 3; }));
    source->Stop();
    EXPECT_EQ(capture.lengthSeen.load(), 640u * 480u * 3u);
    EXPECT_FALSE(capture.sawPoison.load()); // the padding holds poison
    EXPECT_EQ(capture.first.load(), 0);
    EXPECT_EQ(capture.compressedAsSent.load() + capture.compressedOther.load(), 0); // YUYV has no bytes to store
}

TEST_F(V4l2BackendTest, ANodeThisUserMayNotOpenIsReportedByName)
{
    camera_.DenyAccess();
    std::vector<CatalogueEntry> devices;
    ASSERT_TRUE(backend_.ListDevices(devices));
    CaptureBackend::OpenFailure failure;
    EXPECT_EQ(backend_.OpenSource(*devices[0].handle, &failure), nullptr);
    EXPECT_EQ(failure.reason, Result::AccessDenied);
    EXPECT_EQ(failure.node, "/dev/video7");

    QTemporaryDir dir;
    CCaptureGraph engine(backend_, dir.path() + "/CapConfig.dat");
    ASSERT_TRUE(engine.RefreshDeviceList());
    EXPECT_FALSE(engine.BuildGraph());
    EXPECT_EQ(engine.LastOpenFailure().reason, Result::AccessDenied);
}

TEST_F(V4l2BackendTest, AMetadataNodeIsNoCamera)
{
    camera_.SetDeviceCaps(V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING);
    std::vector<CatalogueEntry> devices;
    ASSERT_TRUE(backend_.ListDevices(devices));
    CaptureBackend::OpenFailure failure;
    EXPECT_EQ(backend_.OpenSource(*devices[0].handle, &failure), nullptr);
    EXPECT_EQ(failure.reason, Result::NotSupported);
    EXPECT_EQ(QueryDeviceCaps(camera_.Calls(), "/dev/video7"), V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING);
}

TEST(CaptureNodes, OnlyNodesThatCaptureVideoAreCamerasInNaturalOrder)
{
    auto record = [](const std::string& devnode, const std::string& capabilities) {
        UdevNodeRecord r;
        r.node.devnode = devnode;
        r.capabilities = capabilities;
        return r;
    };
    // As udev lists them: older udev versions mark a camera's metadata node ":capture:" too.
    std::vector<UdevNodeRecord> records = {
        record("/dev/video10", ""),         // no udev property: the node is asked
        record("/dev/video1", ":capture:"), // metadata node of the first camera
        record("/dev/video2", ":capture:"),
        record("/dev/video0", ":capture:"),
        record("/dev/video3", ":video_output:"), // ruled out by udev alone
        record("/dev/video11", ""),              // cannot be asked (no permission): kept
    };
    int asked = 0;
    const DeviceCapsProbe probe = [&](const std::string& devnode) -> std::optional<std::uint32_t> {
        ++asked;
        if (devnode == "/dev/video1") return V4L2_CAP_META_CAPTURE;
        if (devnode == "/dev/video11") return std::nullopt;
        return V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    };
    std::vector<std::string> chosen;
    for (const VideoNode& node : SelectCaptureNodes(records, probe)) chosen.push_back(node.devnode);
    EXPECT_EQ(chosen, (std::vector<std::string>{"/dev/video0", "/dev/video2", "/dev/video10", "/dev/video11"}));
    EXPECT_EQ(asked, 5); // the output node needed no question
    EXPECT_TRUE(NaturalLess("video2", "video10"));
    EXPECT_FALSE(NaturalLess("video10", "video2"));
    EXPECT_TRUE(NaturalLess("video02", "video3"));
    EXPECT_FALSE(NaturalLess("video2", "video2"));
}

// ---- the camera's own formats ------------------------------------------------------------

TEST_F(V4l2BackendTest, MjpegIsChosenWhereOfferedYuyvWhereNotAndTheIntervalIsOneTheCameraLists)
{
    auto source = Open();
    VideoInfoHeader format;
    ASSERT_EQ(source->GetFormat(format), Result::Ok);
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{1280, 1024}, {640, 480}}) {
        format.width = width;
        format.height = height;
        format.averageTimePerFrame = 333333; // 30 a second wanted
        ASSERT_EQ(source->SetFormat(format), Result::Ok);
        EXPECT_EQ(camera_.PixelFormat(), static_cast<std::uint32_t>(V4L2_PIX_FMT_MJPEG)) << width;
        VideoInfoHeader chosen;
        source->GetFormat(chosen);
        EXPECT_EQ(chosen.averageTimePerFrame, 333333);
    }
    source.reset();
    camera_.SetOffersMjpeg(false);
    source = Open();
    format.width = 1280;
    format.height = 1024;
    format.averageTimePerFrame = 666666; // 15 wanted; YUYV at this size lists 9 and 5
    ASSERT_EQ(source->SetFormat(format), Result::Ok);
    EXPECT_EQ(camera_.PixelFormat(), static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV));
    VideoInfoHeader chosen;
    source->GetFormat(chosen);
    EXPECT_EQ(chosen.averageTimePerFrame, 1111111); // 1/9 s, the closest listed
}

TEST_F(V4l2BackendTest, MjpegFramesReachThePreviewWithTheirPicture)
{
    QTemporaryDir dir;
    CCaptureGraph engine(backend_, dir.path() + "/CapConfig.dat");
    engine.resize(640, 512);
    ASSERT_TRUE(engine.RefreshDeviceList() && engine.BuildGraph() && engine.ConnectPreview() && engine.StartPreview());
    ASSERT_EQ(camera_.PixelFormat(), static_cast<std::uint32_t>(V4L2_PIX_FMT_MJPEG)); // 1280 x 1024
    // The mark in the frame's top-left block is read back from the composed picture.
    auto markShown = [&] {
        const QImage shot = engine.SurfaceSnapshot();
        if (shot.isNull()) return false;
        const int grey = qGray(shot.pixel(8, 8));
        for (std::uint32_t n = 1; n <= camera_.FramesServed(); ++n)
            if (std::abs(grey - FakeV4l2Camera::MarkOf(n)) <= 3) return true;
        return false;
    };
    EXPECT_TRUE(WaitUntil(markShown, 3000));
    // Rows lower down hold their row number: row 800 of the picture is 800 % 250.
    const QImage shot = engine.SurfaceSnapshot();
    EXPECT_NEAR(qGray(shot.pixel(320, 400)), 800 % 250, 3);
    engine.StopPreview();
}

TEST_F(V4l2BackendTest, ATruncatedMjpegFrameIsDroppedAndTheNextOneShown)
{
    auto source = Open();
    VideoInfoHeader format;
    source->GetFormat(format);
    format.width = 640;
    format.height = 480;
    ASSERT_EQ(source->SetFormat(format), Result::Ok);
    camera_.SetOccasionalDamage(false);
    camera_.ScriptFaults({FakeV4l2Camera::Fault::TruncatedJpeg, FakeV4l2Camera::Fault::TruncatedJpeg});
    Recorder capture('c');
    capture.expectedLast = 479 % 250; // the picture's last row; a cut frame would end in grey
    EventLog events;
    Wire(*source, capture, events);
    source->Run();
    ASSERT_TRUE(WaitUntil([&] { return capture.count >= 5; }, 3000));
    source->Stop();
    EXPECT_EQ(capture.unexpectedLast.load(), 0);
    EXPECT_GE(camera_.FramesServed(), static_cast<std::uint32_t>(capture.count.load() + 2)); // two were dropped
    // Every frame shown came with its own bytes; the cut ones with neither.
    EXPECT_EQ(capture.compressedAsSent.load(), capture.count.load());
    EXPECT_EQ(capture.compressedOther.load(), 0);
    EXPECT_EQ(camera_.StreamOnCount(), 1); // no restart for a couple of bad frames
    EXPECT_TRUE(events.Seen().empty());
    EXPECT_EQ(capture.lengthSeen.load(), 640u * 480u * 3u);
}
