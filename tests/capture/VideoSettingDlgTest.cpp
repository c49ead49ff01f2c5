#include "app/settings/VideoSettingDlg.h"
#include "FakeV4l2Camera.h"
#include "TestSupport.h"
#include "capture/CaptureGraph.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/V4l2Backend.h"
#include "capture/backend/V4l2Source.h"
#include "framework/LangText.h"
#include "widgets/SpinArrows.h"

#include <linux/videodev2.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <QTest>

#include <gtest/gtest.h>

using namespace backend;

namespace {

constexpr int kBrightness = 0, kGamma = 4;

class VideoSettingTest : public ::testing::Test {
protected:
    void SetUp() override { memory_ = std::make_unique<DeviceSettingsMemory>(MemoryPath()); }
    QString MemoryPath() const { return dir_.path() + "/devices.json"; }
    bool StartEngine(CaptureBackend& backend)
    {
        engine_ = std::make_unique<CCaptureGraph>(backend, dir_.path() + "/CapConfig.dat");
        engine_->resize(610, 480);
        engine_->SetDeviceMemory(memory_.get());
        return engine_->RefreshDeviceList() && engine_->BuildGraph() && engine_->ConnectPreview() &&
               engine_->StartPreview();
    }
    // The program's own way round after the microscope came back.
    bool Rebuild()
    {
        engine_->StopPreview();
        engine_->TearDownDownstream();
        engine_->ReleaseAll();
        return engine_->RefreshDeviceList() && engine_->BuildGraph() && engine_->ConnectPreview() &&
               engine_->StartPreview();
    }
    std::unique_ptr<CVideoSettingDlg> OpenDialog()
    {
        return std::make_unique<CVideoSettingDlg>(*engine_, rows_, nullptr);
    }
    int Property(const std::shared_ptr<SimulatedDevice>& device, int property) const
    {
        int value = 0, flags = 0;
        device->GetProperty(property, value, flags);
        return value;
    }

    QTemporaryDir dir_;
    VideoPropertyRows rows_ = MakeVideoPropertyRows();
    std::unique_ptr<DeviceSettingsMemory> memory_;
    SimulatedBackend backend_;
    std::unique_ptr<CCaptureGraph> engine_;
};

} // namespace

TEST_F(VideoSettingTest, FillsRowsFromTheCameraAndSendsEveryMoveAtOnce)
{
    backend_.Microscope()->SetProperty(VideoProcAmp_Contrast, 40, kVideoProcAmpFlagsManual);
    ASSERT_TRUE(StartEngine(backend_));
    auto dialog = OpenDialog();
    EXPECT_EQ(dialog->Trackbar(kBrightness).minimum(), -64);
    EXPECT_EQ(dialog->Trackbar(kBrightness).maximum(), 64);
    EXPECT_EQ(dialog->Trackbar(1).value(), 40);
    EXPECT_EQ(dialog->Number(1).text(), QStringLiteral(" 40"));
    EXPECT_EQ(rows_[kGamma].defaultValue, 100);
    dialog->show();
    EXPECT_TRUE(dialog->Trackbar(kGamma).isVisible());
    EXPECT_FALSE(dialog->Trackbar(kHueRow).isVisible());
    EXPECT_EQ(dialog->NormList().count(), 1);
    EXPECT_FALSE(dialog->NormList().isEnabled());

    dialog->Trackbar(kBrightness).setValue(20);
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 20);
    EXPECT_EQ(dialog->Number(kBrightness).text(), QStringLiteral(" 20"));
    dialog->Spin(kBrightness).UpArrow().click();
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 21);
    dialog->Spin(kBrightness).DownArrow().click();
    dialog->Spin(kBrightness).DownArrow().click();
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 19);

    // The number box takes a typed value within the range, and the arrow keys.
    QLineEdit& number = dialog->Number(kBrightness);
    number.setFocus();
    number.setText("-30");
    QTest::keyClick(&number, Qt::Key_Return);
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), -30);
    EXPECT_EQ(dialog->Trackbar(kBrightness).value(), -30);
    QTest::keyClick(&number, Qt::Key_Up);
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), -29);
    number.setText("500"); // out of range: the value in force comes back
    QTest::keyClick(&number, Qt::Key_Return);
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), -29);
    EXPECT_EQ(number.text(), QStringLiteral("-29"));

    // At the top of its range the up arrow sends nothing.
    dialog->Trackbar(kBrightness).setValue(64);
    const int calls = backend_.Microscope()->SetPropertyCalls();
    dialog->Spin(kBrightness).UpArrow().click();
    EXPECT_EQ(backend_.Microscope()->SetPropertyCalls(), calls);
    EXPECT_EQ(dialog->Trackbar(kBrightness).value(), 64);

    // The numbers stay for the next opening.
    dialog.reset();
    EXPECT_EQ(rows_[kBrightness].value, 64);
}

TEST_F(VideoSettingTest, DefaultResetsEveryPropertyToAutomaticAndTakesTheLargestSize)
{
    ASSERT_TRUE(StartEngine(backend_));
    engine_->SetResolution(640, 480);
    backend_.Microscope()->SetAutomaticsOn(false);
    auto dialog = OpenDialog();
    dialog->Trackbar(kBrightness).setValue(30);
    dialog->Trackbar(kGamma).setValue(200);
    dialog->DefaultButton().click();
    for (const VideoPropertyRow& row : rows_) {
        int value = 0, flags = 0;
        backend_.Microscope()->GetProperty(row.property, value, flags);
        EXPECT_EQ(value, row.defaultValue) << row.key;
        EXPECT_EQ(flags, kVideoProcAmpFlagsAuto) << row.key;
    }
    EXPECT_EQ(dialog->Trackbar(kGamma).value(), 100);
    EXPECT_TRUE(backend_.Microscope()->AutomaticsOn());
    EXPECT_EQ(dialog->ResolutionList().currentIndex(), 2);
    EXPECT_EQ(engine_->CaptureSize(), QSize(1280, 1024));
    EXPECT_EQ(backend_.Microscope()->Format().width, 1280);
}

TEST_F(VideoSettingTest, TheResolutionListFollowsTheLastFrameAndOkAppliesIt)
{
    auto dialogFor = [&](int width) {
        if (width) {
            engine_->SetResolution(width, width == 320 ? 240 : width == 640 ? 480 : 1024);
            EXPECT_TRUE(WaitUntil([&] { return engine_->LastFrameWidth() == width; }));
        }
        return OpenDialog()->ResolutionList().currentText();
    };
    ASSERT_TRUE(StartEngine(backend_));
    EXPECT_EQ(dialogFor(0), QStringLiteral("320x240")); // no frame yet
    EXPECT_EQ(dialogFor(320), QStringLiteral("320x240"));
    EXPECT_EQ(dialogFor(640), QStringLiteral("640*480"));
    EXPECT_EQ(dialogFor(1280), QStringLiteral("1280*1024"));

    auto dialog = OpenDialog();
    dialog->ResolutionList().setCurrentIndex(1);
    EXPECT_EQ(engine_->CaptureSize(), QSize(640, 480));
    const int formats = backend_.Microscope()->SetFormatCalls();
    dialog->OkButton().click(); // applied again though unchanged
    EXPECT_GT(backend_.Microscope()->SetFormatCalls(), formats);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(VideoSettingTest, ListsOnlyMicroscopesAndSwitchesBetweenThem)
{
    auto second = backend_.AddDevice(SimulatedBackend::kMicroscopeHardwareId, u"Second microscope");
    backend_.AddDevice("USB\\Vid_046d&Pid_0825", u"Web camera");
    ASSERT_TRUE(StartEngine(backend_));
    auto dialog = OpenDialog();
    ASSERT_EQ(dialog->DeviceList().count(), 2);
    EXPECT_EQ(dialog->DeviceList().currentIndex(), 0);
    EXPECT_EQ(engine_->CurrentIdentity(), backend_.Microscope()->Identity());

    dialog->DeviceList().setCurrentIndex(1);
    EXPECT_EQ(engine_->CurrentIdentity(), second->Identity());
    EXPECT_TRUE(engine_->IsRunning());
    EXPECT_EQ(dialog->DeviceList().count(), 2); // refilled
    EXPECT_EQ(dialog->DeviceList().currentText(), QStringLiteral("Second microscope"));
}

TEST_F(VideoSettingTest, WithoutACameraItKeepsItsOwnTextsAndNothingActs)
{
    WriteFile(dir_.path() + "/German1252.ini", "[Zentrix]\r\nVideoSetting=Videoeinstellung\r\n");
    SelectLanguageFile(dir_.path(), 0x0407);
    SimulatedBackend empty(false);
    EXPECT_FALSE(StartEngine(empty));
    auto dialog = OpenDialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Video Setting"));
    EXPECT_EQ(dialog->DefaultButton().text(), QStringLiteral("Default"));
    EXPECT_EQ(dialog->DeviceList().count(), 0);
    EXPECT_EQ(dialog->ResolutionList().count(), 0);
    EXPECT_FALSE(dialog->Trackbar(kBrightness).isEnabled());
    EXPECT_FALSE(dialog->DefaultButton().isEnabled());
    dialog->Spin(kBrightness).UpArrow().click();
    EXPECT_EQ(rows_[kBrightness].value, 0);

    // With a camera the language file's texts come in.
    ASSERT_TRUE(StartEngine(backend_));
    EXPECT_EQ(OpenDialog()->windowTitle(), QStringLiteral("Videoeinstellung"));
    SelectLanguageFile(dir_.path() + "/none", 0x0409);
}

TEST_F(VideoSettingTest, ARefreshReadsTheDevicesAgain)
{
    ASSERT_TRUE(StartEngine(backend_));
    auto dialog = OpenDialog();
    ASSERT_EQ(dialog->DeviceList().count(), 1);
    backend_.AddDevice(SimulatedBackend::kMicroscopeHardwareId, u"Second microscope");
    engine_->RefreshDeviceList();
    dialog->FillVideoSettingDialog();
    EXPECT_EQ(dialog->DeviceList().count(), 2);
    EXPECT_EQ(dialog->DeviceList().currentIndex(), 0);
}

TEST_F(VideoSettingTest, ABusyCameraGetsItsValueWhenItsStreamStartsAgain)
{
    ASSERT_TRUE(StartEngine(backend_));
    backend_.Microscope()->SetBusyWhileStreaming(true);
    EXPECT_EQ(engine_->SetVideoProperty(VideoProcAmp_Brightness, 33, kVideoProcAmpFlagsManual), Result::Busy);
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 0);
    engine_->StopPreview();
    ASSERT_TRUE(engine_->StartPreview());
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 33);
}

TEST_F(VideoSettingTest, EachMicroscopeComesBackAsItWasLeft)
{
    auto other = backend_.AddDevice(SimulatedBackend::kMicroscopeHardwareId, u"Another microscope");
    other->SetPlugged(false);
    ASSERT_TRUE(StartEngine(backend_));
    engine_->SetVideoProperty(VideoProcAmp_Brightness, 25, kVideoProcAmpFlagsManual);
    engine_->SetResolution(640, 480);

    // Unplugged, the camera forgets; plugged in again, the program tells it.
    backend_.Microscope()->SetPlugged(false);
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 0);
    backend_.Microscope()->SetPlugged(true);
    ASSERT_TRUE(Rebuild());
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 25);
    EXPECT_EQ(backend_.Microscope()->Format().width, 640);

    // Started again later, the program reads what it saved.
    engine_->SaveDeviceSettings();
    engine_.reset();
    backend_.Microscope()->SetPlugged(false);
    backend_.Microscope()->SetPlugged(true);
    memory_ = std::make_unique<DeviceSettingsMemory>(MemoryPath());
    ASSERT_TRUE(StartEngine(backend_));
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 25);

    // A different microscope in its place keeps its own settings.
    backend_.Microscope()->SetPlugged(false);
    other->SetPlugged(true);
    ASSERT_TRUE(Rebuild());
    EXPECT_EQ(engine_->CurrentIdentity(), other->Identity());
    EXPECT_EQ(Property(other, VideoProcAmp_Brightness), 0);
}

TEST_F(VideoSettingTest, ADamagedSettingsFileIsIgnoredAndValuesAreKeptInRange)
{
    WriteFile(MemoryPath(), "{\"devices\": {\"x\": [1, 2");
    DeviceSettingsMemory damaged(MemoryPath());
    EXPECT_EQ(damaged.Find("x"), nullptr);

    // A hand-edited value beyond the camera's range is brought within it; a size the
    // program does not offer is ignored.
    const std::string identity = backend_.Microscope()->Identity();
    WriteFile(MemoryPath(), QByteArray("{\"devices\": {\"") + identity.c_str() +
                                "\": {\"width\": 123, \"height\": 45, \"properties\": {\"0\": {\"value\": 9999, "
                                "\"flags\": 2}, \"7\": {\"value\": 1}}}}}");
    memory_ = std::make_unique<DeviceSettingsMemory>(MemoryPath());
    ASSERT_NE(memory_->Find(identity), nullptr);
    EXPECT_FALSE(memory_->Find(identity)->captureSize.isValid());
    EXPECT_EQ(memory_->Find(identity)->properties.size(), 1u);
    ASSERT_TRUE(StartEngine(backend_));
    EXPECT_EQ(Property(backend_.Microscope(), VideoProcAmp_Brightness), 64);
}

TEST_F(VideoSettingTest, ASourceWithTwoInputsHasTwoRoutes)
{
    backend_.Microscope()->SetInputCount(2);
    ASSERT_TRUE(StartEngine(backend_));
    EXPECT_EQ(engine_->CrossbarRouteCount(), 2);
    backend_.Microscope()->SetInputCount(0);
    ASSERT_TRUE(Rebuild());
    EXPECT_EQ(engine_->CrossbarRouteCount(), 0);
}

// ---- the same on a V4L2 camera ----------------------------------------------------------

namespace {
class OneCameraNodes : public VideoNodeSource {
public:
    explicit OneCameraNodes(FakeV4l2Camera& camera) : camera_(camera) {}
    std::vector<VideoNode> CaptureNodes() override
    {
        VideoNode node = camera_.Node();
        node.identity = StableIdentityOf("Vizmora_QRV-DM500_0042", node.vendorId, node.productId, "0");
        return {node};
    }
    std::vector<std::string> UsbHardwareIds() override { return {"USB\\Vid_5e1a&Pid_2c07"}; }

private:
    FakeV4l2Camera& camera_;
};
} // namespace

TEST_F(VideoSettingTest, OnV4l2AMissingControlIsADisabledRowAndAutomaticsAreTheCameras)
{
    FakeV4l2Camera camera;
    camera.AddControl(V4L2_CID_AUTOBRIGHTNESS, 1);
    camera.AddControl(V4L2_CID_AUTO_WHITE_BALANCE, 0);
    V4l2Backend v4l2(camera.Calls(), std::make_unique<OneCameraNodes>(camera), false);
    ASSERT_TRUE(StartEngine(v4l2));
    EXPECT_EQ(engine_->CurrentIdentity(), "usb-Vizmora_QRV-DM500_0042-video-index0");
    auto dialog = OpenDialog();
    EXPECT_TRUE(dialog->Trackbar(kBrightness).isEnabled());
    EXPECT_FALSE(dialog->Trackbar(kGamma).isEnabled()); // this camera has no gamma
    EXPECT_FALSE(dialog->Spin(kGamma).isEnabled());
    EXPECT_EQ(rows_[kBrightness].flags, kVideoProcAmpFlagsAuto | kVideoProcAmpFlagsManual);

    // Moving the slider takes brightness from the camera's automatic; Default gives it back.
    dialog->Trackbar(kBrightness).setValue(90);
    EXPECT_EQ(camera.Control(V4L2_CID_BRIGHTNESS), 90);
    EXPECT_EQ(camera.Control(V4L2_CID_AUTOBRIGHTNESS), 0);
    dialog->DefaultButton().click();
    EXPECT_EQ(camera.Control(V4L2_CID_BRIGHTNESS), 128);
    EXPECT_EQ(camera.Control(V4L2_CID_AUTOBRIGHTNESS), 1);
    EXPECT_EQ(camera.Control(V4L2_CID_AUTO_WHITE_BALANCE), 1);
    dialog.reset();
    engine_.reset();
}

TEST_F(VideoSettingTest, TheFocusRowDrivesTheLensOfACameraThatHasOne)
{
    // A camera with a focus motor: the row sets V4L2's absolute focus and takes it off
    // autofocus; one without (the camera above) leaves the row disabled.
    FakeV4l2Camera camera;
    camera.AddControl(V4L2_CID_FOCUS_ABSOLUTE, 32);
    camera.AddControl(V4L2_CID_FOCUS_AUTO, 1);
    V4l2Backend v4l2(camera.Calls(), std::make_unique<OneCameraNodes>(camera), false);
    ASSERT_TRUE(StartEngine(v4l2));
    auto dialog = OpenDialog();
    ASSERT_TRUE(dialog->Trackbar(kFocusRow).isEnabled());
    dialog->Trackbar(kFocusRow).setValue(20);
    EXPECT_EQ(camera.Control(V4L2_CID_FOCUS_ABSOLUTE), 20);
    EXPECT_EQ(camera.Control(V4L2_CID_FOCUS_AUTO), 0);
    dialog.reset();
    engine_.reset();

    // The simulated microscope's lens follows the row, and the row shows the knob as turned.
    ASSERT_TRUE(StartEngine(backend_));
    backend_.Microscope()->SetFocus(30); // by hand
    auto simulated = OpenDialog();
    EXPECT_EQ(simulated->Trackbar(kFocusRow).value(), 30);
    simulated->Trackbar(kFocusRow).setValue(SimulatedOptics::kSimulatedBestFocus);
    EXPECT_EQ(backend_.Microscope()->Focus(), SimulatedOptics::kSimulatedBestFocus);
}

TEST_F(VideoSettingTest, OnV4l2ABusyControlAndSeveralInputsAreReported)
{
    FakeV4l2Camera camera;
    camera.SetInputCount(2);
    V4l2Backend v4l2(camera.Calls(), std::make_unique<OneCameraNodes>(camera), false);
    ASSERT_TRUE(StartEngine(v4l2));
    EXPECT_EQ(engine_->CrossbarRouteCount(), 2);
    camera.SetControlsBusyWhileStreaming(true);
    EXPECT_EQ(engine_->SetVideoProperty(VideoProcAmp_Contrast, 50, kVideoProcAmpFlagsManual), Result::Busy);
    engine_->StopPreview();
    ASSERT_TRUE(engine_->StartPreview());
    EXPECT_EQ(camera.Control(V4L2_CID_CONTRAST), 50);
    engine_.reset();
}
