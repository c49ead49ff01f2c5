#include "capture/CaptureGraph.h"
#include "TestSupport.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/SimulatedSource.h"

#include <gtest/gtest.h>

using namespace backend;

namespace {
class CaptureGraphTest : public ::testing::Test {
protected:
    QString ConfigPath() const { return dir_.path() + "/CapConfig.dat"; }
    bool StartEngine()
    {
        engine_ = std::make_unique<CCaptureGraph>(backend_, ConfigPath());
        engine_->resize(610, 480);
        return engine_->RefreshDeviceList() && engine_->BuildGraph() && engine_->ConnectPreview() &&
               engine_->StartPreview();
    }
    SimulatedSource& Source() { return dynamic_cast<SimulatedSource&>(*engine_->Source()); }

    QTemporaryDir dir_;
    SimulatedBackend backend_;
    std::unique_ptr<CCaptureGraph> engine_;
};
} // namespace

TEST_F(CaptureGraphTest, FramesGoOnTheCaptureOutputAndTheStillButtonOnTheStillOutput)
{
    ASSERT_TRUE(StartEngine());
    EXPECT_TRUE(engine_->HasStillPin());
    EXPECT_EQ(Source().GrabberOn(0), engine_->FrameGrabber());
    EXPECT_EQ(Source().GrabberOn(1), engine_->StillButtonGrabber());
}

TEST_F(CaptureGraphTest, ACameraWithoutAStillPinStillShowsItsFrames)
{
    backend_.Microscope()->SetPlugged(false);
    backend_.AddDevice(SimulatedBackend::kMicroscopeHardwareId, u"No button", false);
    ASSERT_TRUE(StartEngine());
    EXPECT_FALSE(engine_->HasStillPin());
    EXPECT_EQ(Source().GrabberOn(0), engine_->FrameGrabber());
    EXPECT_EQ(Source().ConnectedGrabberCount(), 1);
    EXPECT_TRUE(WaitUntil([&] {
        return !engine_->SurfaceSnapshot().isNull() && engine_->SurfaceSnapshot().pixel(300, 240) != qRgb(0, 0, 0);
    }));
}

TEST_F(CaptureGraphTest, ConnectPreviewRefusesWhileRunningAndIsIdleWhileConnected)
{
    ASSERT_TRUE(StartEngine());
    EXPECT_TRUE(engine_->ConnectPreview()); // connected: true, nothing changes
    EXPECT_EQ(Source().ConnectedGrabberCount(), 2);
    engine_->TearDownDownstream();
    EXPECT_FALSE(engine_->ConnectPreview()); // running: refused
    EXPECT_EQ(Source().ConnectedGrabberCount(), 0);
    engine_->StopPreview();
    EXPECT_TRUE(engine_->ConnectPreview());
    EXPECT_TRUE(engine_->StartPreview());
}

TEST_F(CaptureGraphTest, WithoutAConfigFileTheCameraGetsTheDefaults)
{
    ASSERT_TRUE(StartEngine());
    const VideoInfoHeader format = backend_.Microscope()->Format();
    EXPECT_EQ(format.width, 1280);
    EXPECT_EQ(format.height, 1024);
    EXPECT_EQ(format.imageSize, 2621440u);
    EXPECT_EQ(format.bitRate, 30u * 20971520u); // the camera reported 30 frames a second
    EXPECT_EQ(engine_->CaptureSize().width(), 1280);
    EXPECT_FALSE(QFile::exists(ConfigPath())); // only a resolution change writes it
}

TEST_F(CaptureGraphTest, SetResolutionStoresTheRecordAndReturnsToRunning)
{
    ASSERT_TRUE(StartEngine());
    EXPECT_EQ(engine_->SetResolution(640, 480), Result::Ok);
    EXPECT_EQ(engine_->RecordFrameRate(), 14);
    EXPECT_TRUE(engine_->IsRunning());
    VideoInfoHeader stored;
    ASSERT_TRUE(ReadCaptureConfig(ConfigPath(), stored));
    EXPECT_EQ(stored.width, 640);
    EXPECT_EQ(stored.height, 480);
    EXPECT_EQ(stored.imageSize, 614400u); // 16 bits
    EXPECT_EQ(stored.bitRate, 147456000u);
    EXPECT_EQ(backend_.Microscope()->Format().width, 640);

    engine_->StopPreview();
    engine_->SetResolution(320, 240);
    EXPECT_EQ(engine_->RecordFrameRate(), 15);
    EXPECT_FALSE(engine_->IsRunning()); // it was not running
    engine_->SetResolution(1280, 1024);
    EXPECT_EQ(engine_->RecordFrameRate(), 5);
}

TEST_F(CaptureGraphTest, ARefusedOrAbsurdStoredRecordFallsBackToTheDefaults)
{
    VideoInfoHeader stored = backend_.Microscope()->Format();
    stored.width = 800; // the camera does not do this size
    stored.height = 600;
    stored.compression = MakeFourCC('M', 'J', 'P', 'G');
    stored.averageTimePerFrame = 666666;
    WriteCaptureConfig(ConfigPath(), stored);
    ASSERT_TRUE(StartEngine());
    VideoInfoHeader format = backend_.Microscope()->Format();
    EXPECT_EQ(format.width, 1280);
    EXPECT_EQ(format.imageSize, 2621440u);
    EXPECT_EQ(format.bitRate, 15u * 20971520u);
    EXPECT_EQ(format.compression, stored.compression); // kept from the stored record
    EXPECT_EQ(format.averageTimePerFrame, 666666);

    engine_.reset();
    stored.width = -5;
    stored.height = 0;
    WriteCaptureConfig(ConfigPath(), stored);
    const int callsBefore = backend_.Microscope()->SetFormatCalls();
    ASSERT_TRUE(StartEngine());
    EXPECT_EQ(backend_.Microscope()->SetFormatCalls(), callsBefore + 1); // defaults at once
    EXPECT_EQ(backend_.Microscope()->Format().width, 1280);
}

TEST_F(CaptureGraphTest, UnpluggedMicroscopeIsNotPresentAndCannotStart)
{
    ASSERT_TRUE(StartEngine());
    EXPECT_TRUE(engine_->IsDevicePresent());
    backend_.Unplug(backend_.Microscope());
    EXPECT_FALSE(engine_->IsDevicePresent());
    engine_->StopPreview();
    engine_->TearDownDownstream();
    engine_->ReleaseAll();
    EXPECT_FALSE(engine_->RefreshDeviceList());
    EXPECT_FALSE(engine_->BuildGraph());
}

TEST_F(CaptureGraphTest, FramesAreDrawnOverThePreviewWithTheirShapeKept)
{
    ASSERT_TRUE(StartEngine());
    engine_->StopPreview();
    engine_->SetResolution(320, 240);
    engine_->StartPreview();
    engine_->CreateDrawingSurface();
    // 4:3 in a 610 x 480 pane: 610 x 458 with bars of 11 above and below.
    ASSERT_TRUE(WaitUntil([&] {
        const QImage shot = engine_->SurfaceSnapshot();
        return shot.size() == QSize(610, 480) && shot.pixel(605, 460) != qRgb(0, 0, 0);
    }));
    const QImage shot = engine_->SurfaceSnapshot();
    EXPECT_EQ(shot.pixel(300, 5), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(300, 475), qRgb(0, 0, 0));
}
