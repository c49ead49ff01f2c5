#include "app/MainDialog.h"
#include "../capture/FakeV4l2Camera.h"
#include "TestSupport.h"
#include "app/Commands.h"
#include "app/FocusDisplay.h"
#include "app/SingleInstance.h"
#include "app/recording/CompressorChoice.h"
#include "app/recording/RecorderSettingsDlg.h"
#include "app/stills/StillFormatSetting.h"
#include "app/stills/StillPicture.h"
#include "app/timelapse/TimeLapseDlg.h"
#include "browser/ThumbnailList.h"
#include "capture/CaptureGraph.h"
#include "capture/FrameDelivery.h"
#include "capture/backend/ReliefSlide.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/V4l2Backend.h"
#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "framework/RunningNumber.h"
#include "framework/WindowSystem.h"
#include "heights/HeightCalibration.h"
#include "heights/HeightsDlg.h"
#include "measure/MeasureCanvas.h"
#include "measure/MeasureGeometry.h"
#include "measure/PhotoMeasureDlg.h"
#include "measure/StageCalibration.h"
#include "media/AviWriter.h"
#include "media/PictureFile.h"
#include "processing/LiveFocusStack.h"
#include "processing/LiveMosaic.h"
#include "resources/ResourceIds.h"
#include "resources/Resources.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/measure/Micrometer.h"
#include "widgets/BitmapButton.h"
#include "widgets/MenuXP.h"

#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include <QTest>
#include <QUuid>
#include <cmath>
#include <set>

#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// Records (and holds back) the open requests the window posts to itself.
class OpenSpy : public QObject {
public:
    std::vector<OpenSelectedEvent::Kind> requests;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != OpenSelectedEvent::Type()) return false;
        requests.push_back(static_cast<OpenSelectedEvent*>(event)->WhatToOpen());
        return true;
    }
};

class MainDialogTest : public MainWindowFixture {
protected:
    void Start(bool withMicroscope)
    {
        backend_ = std::make_unique<backend::SimulatedBackend>(withMicroscope);
        OpenWindow();
        dialog_->show();
    }
    QString PictureFolder() const { return dialog_->Folders().picture; }
    bool ButtonsEnabled() const
    {
        for (int id : {IDC_CAMERA, IDC_AVI, IDC_CLOCK, IDC_SAVE, IDC_EMAIL, IDC_PREVIEW, IDC_SETTING})
            if (!dialog_->Button(id)->isEnabled()) return false;
        return true;
    }
    bool ButtonsDisabled() const
    {
        for (int id : {IDC_CAMERA, IDC_AVI, IDC_CLOCK, IDC_SAVE, IDC_EMAIL, IDC_PREVIEW, IDC_SETTING})
            if (dialog_->Button(id)->isEnabled()) return false;
        return true;
    }
    QString ConnectMessage() const { return dialog_->Engine().Texts().connectMessage; }
};

} // namespace

TEST_F(MainDialogTest, LaysOutTheSkinnedWindow)
{
    Start(true);
    EXPECT_EQ(dialog_->size(), QSize(868, 580));
    EXPECT_EQ(dialog_->Engine().geometry(), QRect(249, 34, 610, 480));
    EXPECT_EQ(dialog_->ThumbnailList().geometry(), QRect(8, 120, 220, 420));
    EXPECT_EQ(dialog_->Button(IDC_CAMERA)->geometry(), QRect(15, 13, 23, 23));
    EXPECT_EQ(dialog_->Button(IDC_SAVE)->geometry().topLeft(), QPoint(184, 13));
    EXPECT_FALSE(dialog_->Button(IDC_PREVIEW)->isVisible());
    EXPECT_FALSE(dialog_->Button(IDC_SETTING)->isVisible());
    EXPECT_EQ(dialog_->MagnificationBox().maxLength(), 3);
    QStringList titles;
    for (QAction* action : dialog_->MenuBar().actions()) titles << action->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Setting", "&Capture", "&Help"})); // Alt+F, Alt+S, ...
    EXPECT_TRUE(QDir(PictureFolder()).exists());
    EXPECT_TRUE(QDir(dialog_->Folders().video).exists());
}

TEST_F(MainDialogTest, WithTheMicroscopeThePreviewRunsAndTheButtonsWork)
{
    Start(true);
    EXPECT_TRUE(dialog_->IsConnected());
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_TRUE(ConnectMessage().isEmpty());
    EXPECT_TRUE(dialog_->IsPreviewState());
    // Live frames reach the preview surface.
    EXPECT_TRUE(WaitUntil([&] {
        const QImage shot = dialog_->Engine().SurfaceSnapshot();
        return !shot.isNull() && shot.pixel(300, 240) != qRgb(0, 0, 0);
    }));
}

TEST_F(MainDialogTest, SettingCrossLineSwitchesTheCrossLineLikeThePopUpMenu)
{
    Start(true);
    dialog_->OnCommand(ID_SETTING_CROSS);
    EXPECT_TRUE(dialog_->Engine().Overlays().crossLine);
    dialog_->OnCommand(ID_OVERLAY_CROSS); // the pop-up menu's item sees the same switch
    EXPECT_FALSE(dialog_->Engine().Overlays().crossLine);
}

TEST_F(MainDialogTest, WithoutTheMicroscopeTheButtonsAreOffAndTheUserIsAskedToConnectIt)
{
    Start(false);
    EXPECT_FALSE(dialog_->IsConnected());
    EXPECT_TRUE(ButtonsDisabled());
    EXPECT_EQ(ConnectMessage(), "Please connect QRV-DM500 Digital Microscope");

    // The overlay switches do nothing and count nothing while disconnected.
    dialog_->OnCommand(ID_OVERLAY_CROSS);
    dialog_->OnCommand(ID_OVERLAY_TIME);
    EXPECT_EQ(dialog_->OverlayCounters(), (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(dialog_->Engine().Overlays().crossLine);

    // Plugging it in starts the preview.
    backend_->Plug(backend_->Microscope());
    EXPECT_TRUE(WaitUntil([&] { return dialog_->IsConnected(); }, 1500));
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_TRUE(ConnectMessage().isEmpty());
}

TEST_F(MainDialogTest, UnpluggingShowsTheConnectMessageAndAnotherDeviceLeavesThePreviewAlone)
{
    Start(true);
    auto webcam = backend_->AddDevice("USB\\Vid_046d&Pid_0825", u"Webcam");
    backend_->Unplug(webcam);
    EXPECT_TRUE(dialog_->IsConnected());
    EXPECT_TRUE(dialog_->Engine().IsRunning());

    backend_->Unplug(backend_->Microscope());
    EXPECT_TRUE(WaitUntil([&] { return !dialog_->IsConnected(); }, 1500));
    EXPECT_TRUE(ButtonsDisabled());
    EXPECT_FALSE(ConnectMessage().isEmpty());

    backend_->Plug(backend_->Microscope());
    EXPECT_TRUE(WaitUntil([&] { return dialog_->IsConnected(); }, 1500));
}

TEST_F(MainDialogTest, SeveralNodeChangesGiveOneCheckASecondAfterTheLast)
{
    Start(true);
    const int before = backend_->PresenceQueries();
    const QTimer& check = dialog_->Presence().DeviceCheckTimer();
    for (int i = 0; i < 3; ++i) {
        dialog_->Presence().OnDeviceChange(backend::DeviceNotification::NodesChanged);
        EXPECT_GT(check.remainingTime(), 900); // the check is a second away again
        if (i < 2) {
            ASSERT_TRUE(WaitUntil([&] { return check.remainingTime() < 700; }, 2000));
        }
    }
    EXPECT_EQ(backend_->PresenceQueries(), before); // each notification postponed the check
    EXPECT_EQ(check.interval(), 1000);
    EXPECT_TRUE(WaitUntil([&] { return backend_->PresenceQueries() > before; }, 2000));
    // One check, and none to come.
    EXPECT_EQ(backend_->PresenceQueries(), before + 1);
    EXPECT_FALSE(check.isActive());
}

TEST_F(MainDialogTest, FullScreenRoundTripRestoresThePlacementAndMenu)
{
    Start(true);
    const QRect before = dialog_->geometry();
    EXPECT_FALSE(dialog_->Button(IDC_CAMERA)->toolTip().isEmpty());
    dialog_->EnterFullScreen();
    EXPECT_TRUE(dialog_->IsFullScreen());
    EXPECT_FALSE(dialog_->MenuBar().isVisible());
    EXPECT_FALSE(dialog_->ThumbnailList().isVisible());
    EXPECT_TRUE(dialog_->Button(IDC_CAMERA)->toolTip().isEmpty());
    EXPECT_GT(dialog_->Engine().width(), 610);
    // The focus bar goes with the picture: in its bottom-left corner, not where the panel was.
    const FocusDisplay* focusBar = dialog_->findChild<FocusDisplay*>();
    ASSERT_NE(focusBar, nullptr);
    EXPECT_EQ(focusBar->geometry().bottomLeft(), QPoint(8, dialog_->ClientArea().height() - 9));

    PressKey(Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return !dialog_->IsFullScreen(); }));
    // Back in its place; under Wayland the place is the compositor's, and the size is checked.
    const bool placed = ProgramPlacesWindows();
    EXPECT_TRUE(
        WaitUntil([&] { return placed ? dialog_->geometry() == before : dialog_->size() == before.size(); }, 1000))
        << dialog_->geometry().x() << "," << dialog_->geometry().y() << " " << dialog_->geometry().width() << "x"
        << dialog_->geometry().height() << " vs " << before.x() << "," << before.y() << " " << before.width() << "x"
        << before.height();
    EXPECT_TRUE(dialog_->MenuBar().isVisible());
    EXPECT_TRUE(dialog_->ThumbnailList().isVisible());
    EXPECT_EQ(dialog_->Engine().geometry(), QRect(249, 34, 610, 480));
    EXPECT_EQ(focusBar->geometry(), CMainDialog::kFocusBar);
    EXPECT_FALSE(dialog_->Button(IDC_CAMERA)->toolTip().isEmpty());
    EXPECT_TRUE(dialog_->isVisible()); // Esc never closes the window
}

TEST_F(MainDialogTest, F2SavesAPictureThatIsListedAndSelected)
{
    Start(true);
    dialog_->MagnificationBox().setText("200");
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->LastPicturePath().isEmpty(); }));
    EXPECT_TRUE(dialog_->LastPicturePath().endsWith("_200X_N0001.bmp"));
    EXPECT_EQ(QFileInfo(dialog_->LastPicturePath()).size(), 3932214);
    ASSERT_EQ(dialog_->ThumbnailList().Pictures().size(), 1u);
    QString selected;
    EXPECT_NE(dialog_->ThumbnailList().GetSelectedPath(selected), 0u);
    EXPECT_EQ(selected, dialog_->LastPicturePath());
    EXPECT_EQ(dialog_->Sounds().LastPlayed(), 181);
}

TEST_F(MainDialogTest, TheCamerasButtonSavesAPictureToo)
{
    Start(true);
    backend_->Microscope()->PressStillButton();
    EXPECT_TRUE(WaitUntil([&] { return !dialog_->LastPicturePath().isEmpty(); }));
    EXPECT_TRUE(dialog_->Engine().IsRunning()); // restarted after a button still
}

TEST_F(MainDialogTest, CommandsCheckTheirConditions)
{
    Start(true);
    MessageBoxRecorder boxes;
    dialog_->OnCommand(IDC_PREVIEW); // leave the preview state
    EXPECT_FALSE(dialog_->IsPreviewState());
    PressKey(Qt::Key_F2);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Please return to the preview state");
    EXPECT_FALSE(dialog_->Engine().Stills().Pending());

    dialog_->OnCommand(ID_FILE_DELETE_ALL);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, "Please select an image or video");
    EXPECT_EQ(boxes.Boxes()[1].caption, "QRV-DM500");
}

TEST_F(MainDialogTest, OpenGoesToThePictureWindowOnlyForBmpAndBMP)
{
    WriteFile(documents_.path() + "/QRV-DM500 files/Picture/a.Bmp", QByteArray(100, 'x'));
    WriteFile(documents_.path() + "/QRV-DM500 files/Picture/b.BMP", QByteArray(100, 'x'));
    Start(true);
    OpenSpy spy;
    dialog_->installEventFilter(&spy);
    auto& list = dialog_->ThumbnailList();
    ASSERT_EQ(list.Pictures().size(), 2u);
    WaitForListDrawn();
    for (int cell = 0; cell < 2; ++cell) {
        ASSERT_TRUE(list.SelectAt(list.mapToGlobal(list.Cells()[static_cast<std::size_t>(cell)].center())));
        dialog_->OnCommand(ID_FILE_OPEN);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.requests,
              (std::vector<OpenSelectedEvent::Kind>{OpenSelectedEvent::Kind::Video, OpenSelectedEvent::Kind::Picture}));
}

TEST_F(MainDialogTest, SaveAsRefusesThePictureFolderItselfButNotASubfolder)
{
    Start(true);
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->LastPicturePath().isEmpty(); }));
    MessageBoxRecorder boxes;
    QString answer = PictureFolder().toUpper() + "/copy.bmp";
    const SaveFileHook previous = SetSaveFileHook([&](const SaveFileRequest& request) {
        EXPECT_EQ(request.filter,
                  "Bitmap Files(*.bmp)|*.bmp|JPEG Files(*.jpg)|*.jpg|TIFF Files(*.tif)|*.tif|PNG Files(*.png)|*.png||");
        return answer;
    });
    dialog_->OnCommand(ID_FILE_SAVE_AS);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Can't save file to temp directory!!");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Save file");

    QDir(PictureFolder()).mkdir("sub");
    answer = PictureFolder() + "/sub/copy.jpg";
    dialog_->OnCommand(ID_FILE_SAVE_AS);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(QImage(answer).size(), QSize(1280, 1024)); // converted to JPEG
    SetSaveFileHook(previous);
}

TEST_F(MainDialogTest, OverlaySwitchesFlipOnEachUse)
{
    Start(true);
    dialog_->OnCommand(ID_OVERLAY_CIRCLE);
    EXPECT_TRUE(dialog_->Engine().Overlays().circles);
    dialog_->OnCommand(ID_OVERLAY_CIRCLE);
    EXPECT_FALSE(dialog_->Engine().Overlays().circles);
    EXPECT_EQ(dialog_->OverlayCounters()[2], 0);
}

TEST_F(MainDialogTest, F11SwitchesTo640x480AndRemembersIt)
{
    Start(true);
    PressKey(Qt::Key_F11);
    EXPECT_EQ(dialog_->Engine().CaptureSize().width(), 640);
    EXPECT_EQ(QFileInfo(program_.path() + "/CapConfig.dat").size(), 88);
    EXPECT_EQ(backend_->Microscope()->Format().width, 640);
    dialog_->close();
    dialog_.reset();
    Start(true); // the next start comes up at 640 x 480
    EXPECT_EQ(backend_->Microscope()->Format().width, 640);
    EXPECT_EQ(dialog_->Engine().CaptureSize().width(), 640);
}

TEST_F(MainDialogTest, TheMaximiseButtonGoesFullScreen)
{
    Start(true);
    dialog_->setWindowState(Qt::WindowMaximized);
    EXPECT_TRUE(WaitUntil([&] { return dialog_->IsFullScreen(); }));
    dialog_->LeaveFullScreen();
    EXPECT_FALSE(dialog_->IsFullScreen());
}

TEST_F(MainDialogTest, OpeningAPictureThatVanishedSaysSo)
{
    WriteFile(documents_.path() + "/QRV-DM500 files/Picture/Still_N0001.bmp", QByteArray(100, 'x'));
    Start(true);
    auto& list = dialog_->ThumbnailList();
    WaitForListDrawn();
    ASSERT_TRUE(list.SelectAt(list.mapToGlobal(list.Cells()[0].center())));
    QFile::remove(documents_.path() + "/QRV-DM500 files/Picture/Still_N0001.bmp");
    MessageBoxRecorder boxes;
    dialog_->OnCommand(ID_FILE_OPEN);
    EXPECT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
    EXPECT_EQ(boxes.Boxes()[0].text, "the picture not open,please check the file exist!");
}

TEST_F(MainDialogTest, OneClickOnTheListSelectsOnceEvenAfterAFileVanished)
{
    const QString folder = documents_.path() + "/QRV-DM500 files/Picture/";
    for (int i = 1; i <= 3; ++i)
        WriteFile(folder + QString("Still_N%1.bmp").arg(i, 4, 10, QChar('0')), SmallBmp(qRgb(0, 0, 200)));
    Start(true);
    auto& list = dialog_->ThumbnailList();
    ASSERT_EQ(list.Pictures().size(), 3u);
    WaitForListDrawn();
    // The first picture goes away behind the program's back; the user clicks the second.
    // Finding the vanished file while redrawing clears the selection; a second pass of the
    // same click would then select the third picture, which the user never clicked.
    QFile::remove(folder + "Still_N0001.bmp");
    QTest::mouseClick(&list, Qt::LeftButton, {}, list.Cells()[1].center());
    QString selected;
    EXPECT_EQ(list.GetSelectedPath(selected), 0u) << selected.toStdString();
    EXPECT_EQ(list.Pictures().size(), 2u);
    // Clicked again, the second picture is selected.
    QTest::mouseClick(&list, Qt::LeftButton, {}, list.Cells()[0].center());
    ASSERT_NE(list.GetSelectedPath(selected), 0u);
    EXPECT_EQ(QFileInfo(selected).fileName(), "Still_N0002.bmp");
}

TEST_F(MainDialogTest, AStreamThatEndsByItselfShowsTheConnectMessage)
{
    Start(true);
    ASSERT_TRUE(dialog_->IsConnected());
    // The camera stops without udev saying anything: the stream's own report is enough.
    backend_->Microscope()->SetPlugged(false);
    EXPECT_TRUE(WaitUntil([&] { return !dialog_->IsConnected(); }, 2000));
    EXPECT_FALSE(dialog_->Engine().IsRunning());
    EXPECT_TRUE(ButtonsDisabled());
    EXPECT_EQ(ConnectMessage(), "Please connect QRV-DM500 Digital Microscope");
}

TEST(MainDialogAccess, AMicroscopeThisUserMayNotOpenIsNamedInsteadOfAskedFor)
{
    FakeV4l2Camera camera;
    camera.DenyAccess();
    struct Nodes : backend::VideoNodeSource {
        explicit Nodes(FakeV4l2Camera& c) : camera(c) {}
        std::vector<backend::VideoNode> CaptureNodes() override { return {camera.Node()}; }
        std::vector<std::string> UsbHardwareIds() override { return {"USB\\Vid_5e1a&Pid_2c07"}; }
        FakeV4l2Camera& camera;
    };
    backend::V4l2Backend v4l2(camera.Calls(), std::make_unique<Nodes>(camera), false);
    SingleInstance instance("Vizmora-test-" + QUuid::createUuid().toString(QUuid::Id128));
    QTemporaryDir documents, program;
    CMainDialog dialog(v4l2, instance, nullptr, CMainDialog::Places{documents.path(), program.path(), program.path()});
    EXPECT_FALSE(dialog.IsConnected());
    EXPECT_EQ(dialog.Presence().CurrentState(), DevicePresence::State::AccessDenied);
    const QString message = dialog.Engine().Texts().connectMessage;
    EXPECT_TRUE(message.startsWith("No permission to open /dev/video7.")) << message.toStdString();
    EXPECT_TRUE(message.contains("video group"));
    dialog.close();
}

TEST_F(MainDialogTest, AFailedStillSaveIsReportedInTheProgramsWords)
{
    Start(true);
    // The picture folder is replaced by a file: nothing can be written there.
    ASSERT_TRUE(QDir(PictureFolder()).removeRecursively());
    WriteFile(PictureFolder(), "in the way");
    MessageBoxRecorder boxes;
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
    EXPECT_TRUE(boxes.Boxes()[0].text.startsWith("The picture could not be saved:\n"))
        << boxes.Boxes()[0].text.toStdString();
    EXPECT_EQ(boxes.Boxes()[0].caption, "QRV-DM500");
    EXPECT_TRUE(dialog_->LastPicturePath().isEmpty());
}

TEST_F(MainDialogTest, TooltipsShowWithoutTheFocus)
{
    Start(true);
    EXPECT_TRUE(dialog_->testAttribute(Qt::WA_AlwaysShowToolTips));
}

TEST_F(MainDialogTest, ARecordingWithATimeLimitEndsByItselfAndIsListed)
{
    WriteFile(documents_.path() + "/QRV-DM500 files/Video/Video_2009-05-14_101010_N0009.avi", "an older one");
    Start(true);
    dialog_->Recording().runSettingsDialog = [](CRecorderSettingsDlg& settings) {
        settings.show();
        settings.SecondsBox().setText("2");
        settings.OkButton().click();
        return settings.result() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
    };
    dialog_->OnCommand(IDC_AVI);
    ASSERT_TRUE(dialog_->Recording().IsRecording());
    EXPECT_TRUE(dialog_->IsPreviewState()); // stills may be taken while recording
    EXPECT_EQ(dialog_->Recording().TimeLimit(), 2);
    EXPECT_TRUE(WaitUntil([&] { return dialog_->IsRecordCounterShown(); }, 1500)); // 1 second
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->Recording().IsRecording(); }, 4000));
    const auto& videos = dialog_->ThumbnailList().Videos();
    ASSERT_EQ(videos.size(), 2u);
    EXPECT_TRUE(videos.back().path.endsWith("_N0010.avi"));
    const AviFacts facts = ReadAviFacts(videos.back().path);
    EXPECT_TRUE(facts.readable);
    EXPECT_EQ(facts.codec, "msvideo1");
    EXPECT_EQ(facts.rateNumerator, 5); // 1280 x 1024
    // Two seconds, less the wait for the first frame after the stream restarts (long on a
    // loaded or sanitized build).
    EXPECT_GE(static_cast<double>(facts.frames) / 5, 1.0);
    EXPECT_LE(static_cast<double>(facts.frames) / 5, 2.4);
    EXPECT_TRUE(dialog_->Engine().IsRunning()); // the preview went on
    // Half a second later the end sound plays and the counter goes.
    EXPECT_TRUE(WaitUntil([&] { return !dialog_->IsRecordCounterShown(); }, 2000));
    EXPECT_EQ(dialog_->Sounds().LastPlayed(), 182);
}

TEST_F(MainDialogTest, F3AndF4RecordAndClosingTheWindowFinishesTheFile)
{
    Start(true);
    PressKey(Qt::Key_F3);
    ASSERT_TRUE(dialog_->Recording().IsRecording());
    EXPECT_EQ(dialog_->Recording().Options().encoder.encoder, "msvideo1");
    ASSERT_TRUE(WaitUntil([&] { return dialog_->Recording().Recording().FramesWritten() >= 3; }));
    PressKey(Qt::Key_F4);
    EXPECT_FALSE(dialog_->Recording().IsRecording());
    ASSERT_EQ(dialog_->ThumbnailList().Videos().size(), 1u);
    EXPECT_GE(ReadAviFacts(dialog_->ThumbnailList().Videos()[0].path).frames, 2);

    PressKey(Qt::Key_F3);
    ASSERT_TRUE(dialog_->Recording().IsRecording());
    ASSERT_TRUE(WaitUntil([&] { return dialog_->Recording().Recording().FramesWritten() >= 3; }));
    const QString path = dialog_->Recording().Recording().Path();
    dialog_->close(); // during the recording
    const AviFacts facts = ReadAviFacts(path);
    EXPECT_TRUE(facts.readable);
    EXPECT_GE(facts.frames, 2);
}

TEST_F(MainDialogTest, ChangingTheCaptureSizeDuringARecordingFinishesTheFileFirst)
{
    Start(true);
    dialog_->Engine().SetResolution(1280, 1024);
    PressKey(Qt::Key_F3);
    ASSERT_TRUE(dialog_->Recording().IsRecording());
    ASSERT_TRUE(WaitUntil([&] { return dialog_->Recording().Recording().FramesWritten() >= 5; }));
    MessageBoxRecorder boxes;
    PressKey(Qt::Key_F11); // 640 x 480, mid-recording
    EXPECT_FALSE(dialog_->Recording().IsRecording());
    ASSERT_EQ(boxes.Boxes().size(), 1u); // the user is told
    EXPECT_EQ(dialog_->Sounds().LastPlayed(), 182);
    EXPECT_EQ(dialog_->Engine().CaptureSize(), QSize(640, 480));
    ASSERT_EQ(dialog_->ThumbnailList().Videos().size(), 1u);
    // The file is whole at its own size: every frame decodes, none was fed at another size.
    const AviFacts facts = ReadAviFacts(dialog_->ThumbnailList().Videos()[0].path);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.width, 1280);
    EXPECT_EQ(facts.height, 1024);
    EXPECT_GE(facts.frames, 5);

    // The same size again is no change: a recording goes on.
    PressKey(Qt::Key_F3);
    ASSERT_TRUE(dialog_->Recording().IsRecording());
    PressKey(Qt::Key_F11);
    EXPECT_TRUE(dialog_->Recording().IsRecording());
    PressKey(Qt::Key_F4);
}

TEST_F(MainDialogTest, ARecordingThatGotNoFrameOnAFullDiskIsNotKept)
{
    Start(true);
    MessageBoxRecorder boxes;
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit full = old;
    full.rlim_cur = 0; // a full disk: the file is created, nothing goes into it
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    PressKey(Qt::Key_F3);
    const bool ended = WaitUntil([&] { return !dialog_->Recording().IsRecording(); }, 8000);
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(ended);
    ASSERT_FALSE(boxes.Boxes().empty()); // the user was told why
    EXPECT_TRUE(dialog_->ThumbnailList().Videos().empty());
    EXPECT_TRUE(QDir(dialog_->Folders().video).entryList({"*.avi"}, QDir::Files).isEmpty());
}

TEST_F(MainDialogTest, SaveAsStartsWhereACopyIsAcceptedAndRemembersWhereItWent)
{
    Start(true);
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->LastPicturePath().isEmpty(); }));
    const QString source = dialog_->LastPicturePath();
    QTemporaryDir elsewhere;
    QStringList proposals;
    QString answer = elsewhere.path() + "/copy.bmp";
    const SaveFileHook previous = SetSaveFileHook([&](const SaveFileRequest& request) {
        proposals << request.proposedPath;
        return answer;
    });
    dialog_->OnCommand(ID_FILE_SAVE_AS);
    answer = elsewhere.path() + "/copy.JPG";
    dialog_->OnCommand(ID_FILE_SAVE_AS);
    SetSaveFileHook(previous);
    ASSERT_EQ(proposals.size(), 2);
    EXPECT_NE(QFileInfo(proposals[0]).path().toLower(), PictureFolder().toLower()); // never the refused folder
    EXPECT_TRUE(proposals[0].endsWith("/" + QFileInfo(source).completeBaseName()));
    EXPECT_EQ(QFileInfo(proposals[1]).path(), elsewhere.path());           // where the last copy went
    EXPECT_EQ(ReadFile(elsewhere.path() + "/copy.bmp"), ReadFile(source)); // the same format: bytes unchanged
    EXPECT_EQ(QImageReader(elsewhere.path() + "/copy.JPG").format(), "jpeg");
    // The corner mark goes once the picture was saved elsewhere.
    EXPECT_FALSE(dialog_->ThumbnailList().Pictures().back().flags & New);
}

TEST_F(MainDialogTest, ASeriesWhosePicturesFailSaysSoOnce)
{
    Start(true);
    ASSERT_TRUE(QDir(PictureFolder()).removeRecursively());
    WriteFile(PictureFolder(), "in the way"); // nothing can be saved
    MessageBoxRecorder boxes;
    dialog_->dialogRunner = [&](CModalDialog&) {
        for (int i = 0; i < 3; ++i) {
            dialog_->Engine().Stills().Request(StillSource::Keyboard);
            // A frame comes, the picture fails.
            ASSERT_TRUE(WaitUntil([&] { return !dialog_->Engine().Stills().Pending(); }));
        }
    };
    dialog_->OnCommand(IDC_CLOCK);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    // Outside a series every failure is told again.
    PressKey(Qt::Key_F2);
    EXPECT_TRUE(WaitUntil([&] { return boxes.Boxes().size() == 2; }));
}

TEST_F(MainDialogTest, DeviceSettingsChangeTheLivePictureAndFollowPluggedDevices)
{
    Start(true);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->Engine().LastFrameWidth() > 0; }));
    auto brightnessOf = [&] {
        QImage picture;
        WaitUntil([&] { return (picture = dialog_->Engine().SurfaceSnapshot()), !picture.isNull(); });
        // The picture itself, not the black bars beside it (the frame keeps its shape).
        const QImage small = picture.copy(picture.rect().adjusted(20, 20, -20, -20)).scaled(16, 16);
        long sum = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) sum += qGray(small.pixel(x, y));
        return sum / 256;
    };
    int devicesBefore = 0, devicesAfter = 0;
    long before = 0, after = 0;
    dialog_->dialogRunner = [&](CModalDialog& shown) {
        auto& settings = dynamic_cast<CVideoSettingDlg&>(shown);
        devicesBefore = settings.DeviceList().count();
        backend_->Plug(backend_->AddDevice(backend::SimulatedBackend::kMicroscopeHardwareId, u"Second microscope"));
        devicesAfter = settings.DeviceList().count();
        // A frame of the slide shown first (on a slow machine the picture may still be blank).
        WaitUntil([&] { return (before = brightnessOf()) < 215; }, 5000);
        settings.Trackbar(0).setValue(50);
        // The next composed frame is brighter.
        WaitUntil([&] { return (after = brightnessOf()) > before + 40; }, 3000);
        settings.ExitButton().click();
    };
    dialog_->OnCommand(ID_SETTING_DEVICE);
    EXPECT_EQ(devicesBefore, 1);
    EXPECT_EQ(devicesAfter, 2);
    EXPECT_GT(after, before + 40);
    EXPECT_EQ(dialog_->Commands().PropertyRows()[0].value, 50);
}

TEST_F(MainDialogTest, ThePanelsWordsAreInTheUsersLanguage)
{
    // The window as a German user sees it, and as an English one.
    auto panelFor = [&](std::uint16_t language) {
        QFile::copy(QStringLiteral(SOURCE_DIR "/resources/lang/German1252.ini"), program_.path() + "/German1252.ini");
        backend_ = std::make_unique<backend::SimulatedBackend>(false);
        OpenWindow(language);
        const QImage panel = dialog_->ClientArea().grab().toImage().convertToFormat(QImage::Format_RGB32);
        CloseWindow();
        return panel;
    };
    const QImage english = panelFor(0x0409);
    const QImage german = panelFor(0x0407);

    // "Bilder" on the active tab, as the German file has it, in the tab's bold white.
    const QRect label(13, 89, 94, 20);
    QImage expected = english.copy(label);
    {
        const QImage bare = resources::LoadBitmapImage(IDB_TAB_PICTURES).convertToFormat(QImage::Format_RGB32);
        QPainter painter(&expected);
        painter.drawImage(0, 0, bare, label.x() - 7, label.y() - 51, label.width(), label.height());
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        SelectLanguageFile(program_.path(), 0x0407);
        painter.drawText(QRect(QPoint(0, 0), label.size()), Qt::AlignCenter, LangText("TabPictures", 30, "Pictures"));
    }
    EXPECT_EQ(german.copy(label), expected);
    EXPECT_NE(english.copy(label), expected);
    // The product line over the picture and the hint under it changed too.
    EXPECT_NE(german.copy(QRect(330, 8, 300, 20)), english.copy(QRect(330, 8, 300, 20)));
    EXPECT_NE(german.copy(QRect(340, 528, 510, 36)), english.copy(QRect(340, 528, 510, 36)));
}

TEST_F(MainDialogTest, TheScaleBarOverlayTakesTheCalibrationOfTheMagnificationInTheBox)
{
    Start(true);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->IsConnected() && dialog_->Engine().LastFrameWidth() > 0; }));
    // A white bar in the lower right of the live picture (the specimen has no pure white).
    auto barShown = [&] {
        const QImage shot = dialog_->Engine().SurfaceSnapshot();
        int white = 0;
        for (int y = shot.height() * 3 / 4; y < shot.height(); ++y)
            for (int x = shot.width() / 2; x < shot.width(); ++x) white += shot.pixelColor(x, y) == Qt::white;
        return white > 200;
    };
    MessageBoxRecorder boxes;
    dialog_->MagnificationBox().setText(QStringLiteral("200"));
    dialog_->OnCommand(ID_OVERLAY_SCALE_BAR);
    ASSERT_EQ(boxes.Boxes().size(), 1u); // no calibration for 200X yet
    EXPECT_FALSE(dialog_->Engine().Overlays().scaleBar);

    CalibrationStore(dialog_->CalibrationPath()).Set({200, 0.00125, QStringLiteral("200X")});
    dialog_->OnCommand(ID_OVERLAY_SCALE_BAR);
    EXPECT_TRUE(dialog_->Engine().Overlays().scaleBar);
    EXPECT_TRUE(WaitUntil(barShown));
    // Another magnification without a calibration: no bar until the box says 200 again.
    dialog_->MagnificationBox().setText(QStringLiteral("100"));
    EXPECT_TRUE(WaitUntil([&] { return !barShown(); }));
    dialog_->MagnificationBox().setText(QStringLiteral("200"));
    EXPECT_TRUE(WaitUntil(barShown));
    dialog_->OnCommand(ID_OVERLAY_SCALE_BAR);
    EXPECT_FALSE(dialog_->Engine().Overlays().scaleBar);
}

TEST_F(MainDialogTest, TheCameraMotionJpegIsRecordedAtTheCameraRateAndLostFramesAreShown)
{
    Start(true);
    backend_->Microscope()->SetMotionJpeg(true);
    dialog_->Engine().StopPreview(); // the camera sends Motion JPEG from its next start on
    dialog_->Engine().StartPreview();
    const CompressorChoiceHook previous = SetCompressorChoiceHook([](const std::vector<VideoEncoderChoice>& offered) {
        return std::optional<VideoEncoderChoice>(offered.front()); // the preselected row
    });
    QString rateNote;
    dialog_->Recording().runSettingsDialog = [&](CRecorderSettingsDlg& settings) {
        settings.show();
        settings.CompressButton().click();
        rateNote = settings.FileRateNote();
        settings.FrameRateBox().setText("30");
        settings.SecondsBox().setText("2");
        settings.OkButton().click();
        return settings.result() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
    };
    dialog_->OnCommand(IDC_AVI);
    SetCompressorChoiceHook(previous);
    EXPECT_EQ(rateNote, QStringLiteral("The file plays at the camera's own frame rate."));
    ASSERT_TRUE(dialog_->Recording().IsRecording());
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->Recording().IsRecording(); }, 10000));
    const AviFacts facts = ReadAviFacts(dialog_->ThumbnailList().Videos().back().path);
    EXPECT_EQ(facts.codec, "mjpeg");
    EXPECT_EQ(facts.rateNumerator, 30);
    EXPECT_EQ(facts.width, 1280);
    // Two seconds counted from the file's opening, less the wait for the first frame after
    // the stream restarts (long on a loaded or sanitized build).
    EXPECT_GE(facts.frames, 30);
    EXPECT_LE(facts.frames, 62);

    // Lost frames are shown beside the counter, in a warning colour; none, nothing shown.
    auto warningPixels = [&] {
        const QImage shot =
            dialog_->grab(CMainDialog::kDroppedReadout.translated(dialog_->ClientArea().pos())).toImage();
        int count = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.red() > 180 && c.green() < 140) ++count;
            }
        return count;
    };
    dialog_->ShowRecordCounter(4, 3);
    EXPECT_GT(warningPixels(), 10);
    dialog_->ShowRecordCounter(4, 0);
    EXPECT_EQ(warningPixels(), 0);
    dialog_->HideRecordCounter();
}

TEST_F(MainDialogTest, StillsInTiffCarryTheCalibrationAndSaveAsConvertsWithIt)
{
    Start(true);
    CalibrationStore store(dialog_->CalibrationPath());
    ASSERT_TRUE(store.Set({200, 0.00125, QStringLiteral("200X")}));
    dialog_->OnCommand(ID_STILL_FORMAT_TIFF);
    dialog_->MagnificationBox().setText("200");
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->LastPicturePath().isEmpty(); }));
    const QString tiff = dialog_->LastPicturePath();
    EXPECT_TRUE(tiff.endsWith("_200X_N0001.tif")) << tiff.toStdString();
    PictureMetadata carried;
    QString reason;
    const QImage still = ReadPictureFile(tiff, &reason, &carried);
    ASSERT_FALSE(still.isNull()) << reason.toStdString();
    EXPECT_EQ(still.size(), QSize(1280, 1024));
    EXPECT_NEAR(carried.millimetresPerPixel, 0.00125, 1e-9);
    EXPECT_EQ(carried.magnification, 200);
    EXPECT_FALSE(carried.microscope.isEmpty());
    ASSERT_EQ(dialog_->ThumbnailList().Pictures().size(), 1u);
    // The setting comes back with the next start.
    EXPECT_EQ(StillFormatSetting(program_.path() + "/stills.json").Format(), PictureFormat::Tiff);

    // Back to BMP: the running number goes on across the formats.
    dialog_->OnCommand(ID_STILL_FORMAT_BMP);
    const QString first = dialog_->LastPicturePath();
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->LastPicturePath() != first; }));
    EXPECT_TRUE(dialog_->LastPicturePath().endsWith("_200X_N0002.bmp"));
    // Save as of the BMP still to TIFF carries the calibration of its magnification.
    QTemporaryDir elsewhere;
    const SaveFileHook previous =
        SetSaveFileHook([&](const SaveFileRequest&) { return elsewhere.path() + "/copy.tif"; });
    dialog_->OnCommand(ID_FILE_SAVE_AS);
    SetSaveFileHook(previous);
    PictureMetadata converted;
    ASSERT_FALSE(ReadPictureFile(elsewhere.path() + "/copy.tif", &reason, &converted).isNull()) << reason.toStdString();
    EXPECT_NEAR(converted.millimetresPerPixel, 0.00125, 1e-9);
    // Photo Measure opens the TIFF still and measures with the scale it carries.
    CPhotoMeasureDlg measure(tiff, nullptr, dialog_->CalibrationPath());
    EXPECT_TRUE(measure.HasPicture());
    EXPECT_NEAR(measure.Canvas()->FileMillimetresPerPixel(), 0.00125, 1e-9);
}

TEST_F(MainDialogTest, F6StacksWhileTheFocusTurnsAndSavesTheResultAsTheNextStill)
{
    Start(true);
    backend_->Microscope()->SetSlide(Slide::Relief);
    backend_->Microscope()->SetFocusSweep(true);
    // The relief slide from the stream's next start, at 640 x 480 (a sanitized build
    // renders it slowly).
    PressKey(Qt::Key_F11);
    dialog_->MagnificationBox().setText("200");
    PressKey(Qt::Key_F6);
    ASSERT_TRUE(dialog_->LiveStack().Running());
    // Esc drops it: nothing saved.
    PressKey(Qt::Key_Escape);
    EXPECT_FALSE(dialog_->LiveStack().Running());
    EXPECT_TRUE(dialog_->LastPicturePath().isEmpty());

    dialog_->OnCommand(ID_CAPTURE_DEPTH_MAP); // with its depth map
    PressKey(Qt::Key_F6);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->LiveStack().Counted() >= 2; }, 30000));
    dialog_->OnCommand(ID_CAPTURE_FOCUS_STACK); // the menu's command stops it too
    EXPECT_FALSE(dialog_->LiveStack().Running());
    const QString saved = dialog_->LastPicturePath();
    EXPECT_TRUE(saved.endsWith("_200X_EDF_N0001.bmp")) << saved.toStdString();
    ASSERT_EQ(dialog_->ThumbnailList().Pictures().size(), 1u);
    EXPECT_EQ(QImage(saved).size(), dialog_->Engine().CaptureSize());
    const QImage depth(saved.chopped(4) + "_depth.bmp");
    EXPECT_EQ(depth.size(), dialog_->Engine().CaptureSize());
    // The depth map is no still of its own: the next still counts on from the stack.
    EXPECT_EQ(NextRunningNumber(PictureFolder(), {}, StillPicturePatterns()), 2);
}

// The first start on a computer: the settings folder does not exist yet, and a calibration
// taken then must still be saved.
TEST_F(MainDialogTest, OnAFirstStartTheCalibrationsHaveAFolderToGoTo)
{
    backend_ = std::make_unique<backend::SimulatedBackend>(true);
    instance_ = std::make_unique<SingleInstance>("Vizmora-test-" + QUuid::createUuid().toString(QUuid::Id128));
    const QString fresh = documents_.path() + "/not/made/yet";
    dialog_ = std::make_unique<CMainDialog>(*backend_, *instance_, nullptr,
                                            CMainDialog::Places{documents_.path(), program_.path(), fresh, 0});
    HeightCalibrationStore heights(QFileInfo(dialog_->CalibrationPath()).dir().filePath("heights.json"));
    QString error;
    EXPECT_TRUE(heights.Set(200, 1.05e-4, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(fresh + "/heights.json"));
}

TEST_F(MainDialogTest, HeightsAfterALiveStackComeFromItsPicturesWhenNoneAreSelected)
{
    Start(true);
    backend_->Microscope()->SetSlide(Slide::Relief);
    backend_->Microscope()->SetFocusSweep(true);
    PressKey(Qt::Key_F11); // 640 x 480
    dialog_->MagnificationBox().setText("200");
    PressKey(Qt::Key_F6);
    // The sweep turns the knob by the clock (5 steps a second from the bottom): half-way up it
    // has passed the board and the lower components, whatever the frame rate.
    QElapsedTimer sweeping;
    sweeping.start();
    ASSERT_TRUE(WaitUntil([&] { return dialog_->LiveStack().Counted() >= 12 && sweeping.elapsed() > 10000; }, 90000));
    PressKey(Qt::Key_F6); // saved: the list selects the new still alone
    ASSERT_TRUE(dialog_->LiveStack().HasLastStack());
    bool shown = false;
    dialog_->ListCommandsForTests().runHeightsWindow = [&](CHeightsDlg& window) {
        shown = true;
        // At the capture size: the live stack keeps a 640-wide picture whole.
        EXPECT_EQ(window.Map().width, dialog_->Engine().CaptureSize().width());
        EXPECT_GT(window.Map().KnownShare(), 0.1);
        EXPECT_TRUE(window.Map().nominal);
    };
    dialog_->OnCommand(ID_CAPTURE_HEIGHTS);
    EXPECT_TRUE(shown);
}

TEST_F(MainDialogTest, WithoutACalibrationAStillCarriesTheNominalScaleOnlyWhenChosen)
{
    Start(true);
    dialog_->OnCommand(ID_STILL_FORMAT_PNG);
    dialog_->MagnificationBox().setText("100"); // no calibration for it
    auto takeStill = [&] {
        const QString before = dialog_->LastPicturePath();
        PressKey(Qt::Key_F2);
        EXPECT_TRUE(WaitUntil([&] { return dialog_->LastPicturePath() != before; }));
        PictureMetadata carried;
        ReadPictureFile(dialog_->LastPicturePath(), nullptr, &carried);
        return carried.millimetresPerPixel;
    };
    EXPECT_EQ(takeStill(), 0); // by default none: nobody takes the nominal factor for a measurement
    dialog_->OnCommand(ID_STILL_NOMINAL_SCALE);
    EXPECT_TRUE(StillFormatSetting(program_.path() + "/stills.json").NominalScale());
    const double nominal = NominalMillimetresPerPicturePixel(*CalibrationRate(100, 1280, 1024), QSize(1280, 1024), 640);
    EXPECT_NEAR(takeStill(), nominal, nominal * 1e-3); // pHYs holds whole pixels per metre
}

TEST_F(MainDialogTest, F7BuildsAMosaicWhileTheStageMovesAndSavesItAsTheNextStill)
{
    Start(true);
    backend_->Microscope()->SetSlide(Slide::Stage);
    PressKey(Qt::Key_F11); // the stage slide from the stream's restart, 640 x 480
    dialog_->MagnificationBox().setText("200");
    backend_->Microscope()->SetStagePath(true);
    PressKey(Qt::Key_F7);
    ASSERT_TRUE(dialog_->LiveMosaicStep().Running());
    PressKey(Qt::Key_Escape); // dropped: nothing saved
    EXPECT_FALSE(dialog_->LiveMosaicStep().Running());
    EXPECT_TRUE(dialog_->LastPicturePath().isEmpty());

    dialog_->OnCommand(ID_CAPTURE_MOSAIC);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->LiveMosaicStep().Pictures() >= 3; }, 60000));
    EXPECT_EQ(dialog_->LiveMosaicStep().Lost(), Mosaic::LostReason::None);
    PressKey(Qt::Key_F7);
    EXPECT_FALSE(dialog_->LiveMosaicStep().Running());
    const QString saved = dialog_->LastPicturePath();
    EXPECT_TRUE(saved.endsWith("_200X_MOS_N0001.bmp")) << saved.toStdString();
    ASSERT_EQ(dialog_->ThumbnailList().Pictures().size(), 1u);
    // Wider than a field: the stage moved along its first row.
    EXPECT_GT(QImage(saved).width(), dialog_->Engine().CaptureSize().width());
    EXPECT_NEAR(QImage(saved).height(), dialog_->Engine().CaptureSize().height(), 2); // placed to a fraction of a pixel

    // The stage stands still: F7 twice saves no one-picture "mosaic" and says why.
    backend_->Microscope()->SetStagePath(false);
    PressKey(Qt::Key_F7);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->LiveMosaicStep().Pictures() >= 1; }, 60000));
    {
        MessageBoxRecorder boxes;
        PressKey(Qt::Key_F7);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_TRUE(boxes.Boxes()[0].text.contains("did not move")) << boxes.Boxes()[0].text.toStdString();
    }
    EXPECT_EQ(dialog_->LastPicturePath(), saved);
    EXPECT_EQ(dialog_->ThumbnailList().Pictures().size(), 1u);
}

TEST_F(MainDialogTest, PicturesSelectedInTheListWithCtrlAndShiftAreStackedOrLaidOutAsAMosaic)
{
    Start(true);
    // Three pictures of the stage slide, each a third of a field on from the one before.
    SlideRenderer stage;
    stage.Prepare(320, 240, Slide::Stage);
    const QString folder = dialog_->Folders().picture;
    for (int i = 0; i < 3; ++i) {
        std::vector<std::uint8_t> pixels(stage.FrameBytes());
        SimulatedOptics optics;
        optics.stage = {1000 + 550 * i, 1000};
        stage.RenderFrame(0, pixels.data(), nullptr, optics);
        const QString path = folder + QStringLiteral("/Still_2026-12-07_10101%1_200X_N000%1.bmp").arg(i + 1);
        ASSERT_TRUE(
            QImage(pixels.data(), 320, 240, static_cast<qsizetype>(SlideRenderer::StrideOf(320)), QImage::Format_BGR888)
                .save(path, "BMP"));
        dialog_->ThumbnailList().AddCapturedPicture(path);
    }
    CThumbnailList& list = dialog_->ThumbnailList();
    WaitForListDrawn();
    // One selected: the commands ask for more.
    EXPECT_EQ(list.SelectedPaths().size(), 1);
    // A click on the first, Shift+click on the third: all three; Ctrl+click takes the middle one out and back.
    QTest::mouseClick(&list, Qt::LeftButton, {}, list.Cells()[0].center());
    QTest::mouseClick(&list, Qt::LeftButton, Qt::ShiftModifier, list.Cells()[2].center());
    EXPECT_EQ(list.SelectedPaths().size(), 3);
    QTest::mouseClick(&list, Qt::LeftButton, Qt::ControlModifier, list.Cells()[1].center());
    EXPECT_EQ(list.SelectedPaths().size(), 2);
    QTest::mouseClick(&list, Qt::LeftButton, Qt::ControlModifier, list.Cells()[1].center());
    ASSERT_EQ(list.SelectedPaths().size(), 3);

    dialog_->OnCommand(ID_FILE_MOSAIC);
    const QString mosaic = dialog_->LastPicturePath();
    EXPECT_TRUE(mosaic.endsWith("_200X_MOS_N0004.bmp")) << mosaic.toStdString();
    const QImage laidOut(mosaic);
    EXPECT_NEAR(laidOut.width(), 320 + stage.StageOffset({2100, 0}).x - stage.StageOffset({1000, 0}).x, 2);
    ASSERT_EQ(list.Pictures().size(), 4u);
    // The new picture is the one selected: a plain click picks the three again. They are
    // three fields, not a focus series: the stack leaves two out, says so, and saves nothing.
    QTest::mouseClick(&list, Qt::LeftButton, {}, list.Cells()[0].center());
    QTest::mouseClick(&list, Qt::LeftButton, Qt::ShiftModifier, list.Cells()[2].center());
    {
        MessageBoxRecorder boxes;
        dialog_->OnCommand(ID_FILE_STACK);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_TRUE(boxes.Boxes()[0].text.contains("N0002.bmp: not part of the focus series"))
            << boxes.Boxes()[0].text.toStdString();
        EXPECT_TRUE(boxes.Boxes()[0].text.contains("N0003.bmp: not part of the focus series"));
    }
    EXPECT_EQ(list.Pictures().size(), 4u);

    // Two pictures of one field at two focus positions: stacked, its depth map beside it.
    for (int i = 0; i < 2; ++i) {
        std::vector<std::uint8_t> pixels(stage.FrameBytes());
        SimulatedOptics optics;
        optics.stage = {1000 + 3 * i, 1000};
        stage.RenderFrame(0, pixels.data(), nullptr, optics);
        const QString path = folder + QStringLiteral("/Still_2026-12-07_10102%1_200X_N000%2.bmp").arg(i).arg(5 + i);
        ASSERT_TRUE(
            QImage(pixels.data(), 320, 240, static_cast<qsizetype>(SlideRenderer::StrideOf(320)), QImage::Format_BGR888)
                .save(path, "BMP"));
        list.AddCapturedPicture(path);
    }
    WaitForListDrawn();
    const std::size_t count = list.Pictures().size();
    QTest::mouseClick(&list, Qt::LeftButton, {}, list.Cells()[count - 2].center());
    QTest::mouseClick(&list, Qt::LeftButton, Qt::ShiftModifier, list.Cells()[count - 1].center());
    ASSERT_EQ(list.SelectedPaths().size(), 2);
    dialog_->OnCommand(ID_CAPTURE_DEPTH_MAP); // the stack's depth map too
    dialog_->OnCommand(ID_FILE_STACK);
    EXPECT_TRUE(dialog_->LastPicturePath().endsWith("_200X_EDF_N0007.bmp")) << dialog_->LastPicturePath().toStdString();
    EXPECT_EQ(QImage(dialog_->LastPicturePath()).size(), QSize(320, 240));
    EXPECT_EQ(QImage(dialog_->LastPicturePath().chopped(4) + "_depth.bmp").size(), QSize(320, 240));
    EXPECT_EQ(list.Pictures().size(), 7u);
}

TEST_F(MainDialogTest, AMotorisedFocusGivesTheHeightsItsPositionsCalibratedOnTheCoverslip)
{
    Start(true);
    backend_->Microscope()->SetSlide(Slide::Relief);
    PressKey(Qt::Key_F11); // 640 x 480
    dialog_->MagnificationBox().setText("200");
    int shown = 0;
    QObject::connect(&dialog_->Engine(), &CCaptureGraph::FrameShown, [&] { ++shown; });
    // The focus moved by its motor (the Video Setting dialog's Focus row), unevenly, from below
    // the board to above the components, each position held a moment: the frames carry where
    // it stood.
    PressKey(Qt::Key_F6);
    const std::vector<int> focuses = {4, 10, 16, 23, 30, 37, 44, 51, 58, 65, 72, 79, 85, 90, 95};
    for (const int focus : focuses) {
        dialog_->Engine().SetVideoProperty(backend::CameraControl_Focus, focus, backend::kVideoProcAmpFlagsManual);
        // The lens has stood still long enough for the frames to carry its position...
        QElapsedTimer standing;
        standing.start();
        const int from = shown;
        ASSERT_TRUE(WaitUntil([&] { return standing.elapsed() > 400 && shown >= from + 2; }, 60000));
        // ...and a frame handed to the stack after that has been stacked (a busy stack drops frames).
        const int settled = shown;
        ASSERT_TRUE(WaitUntil([&] { return shown >= settled + 2 && dialog_->LiveStack().Idle(); }, 60000));
    }
    PressKey(Qt::Key_F6);
    ASSERT_TRUE(dialog_->LiveStack().HasLastStack());

    // Points of the slide (1280 x 1024 units) on the heights, which are at the capture size
    // (a 640-wide picture is kept whole) and aligned onto the first picture (shown at its own
    // scale about the centre).
    const double firstScale = ReliefSlide::ScaleAt(focuses.front());
    auto at = [&](double u, double v) {
        const double x = u * 640 / 1280.0, y = v * 480 / 1024.0;
        return QPointF(319.5 + (x - 319.5) * firstScale, 239.5 + (y - 239.5) * firstScale);
    };
    bool opened = false;
    dialog_->ListCommandsForTests().runHeightsWindow = [&](CHeightsDlg& window) {
        opened = true;
        EXPECT_TRUE(window.Map().fromFocusPositions);
        EXPECT_TRUE(window.Map().nominal);
        // Calibrated on the coverslip: the board above its edge, then its top, 170 µm apart.
        window.askKnownHeight = [] { return std::optional<double>(170); };
        window.PickPoint(at(ReliefSlide::kCoverslipRight / 2.0, ReliefSlide::kCoverslipTop - 50));
        window.PickPoint(at(ReliefSlide::kCoverslipRight / 2.0, ReliefSlide::kCoverslipTop + 45));
        window.OnCalibrate();
        EXPECT_FALSE(window.Map().nominal);
        // The first component (88) over the board below it (18): 700 µm.
        window.PickPoint(at(300, 400));
        window.PickPoint(at(300, 245));
        ASSERT_TRUE(window.Difference().has_value()) << window.MeasurementText().toStdString();
        std::printf("motorised focus: the component stands %s (truth 700 µm)\n",
                    window.MeasurementText().toUtf8().constData());
        // Within 10 %: the live stack keeps one picture a position, each with the camera's noise
        // and exposure flicker (704-725 µm over runs; a stack by hand holds 5 %).
        EXPECT_NEAR(window.Difference()->first, 700, 70);
    };
    dialog_->OnCommand(ID_CAPTURE_HEIGHTS);
    EXPECT_TRUE(opened);
    // The calibration is the motor's travel per unit: 10 µm on the simulated microscope
    // (within 4 % measured).
    const auto perUnit =
        HeightCalibrationStore(QFileInfo(dialog_->CalibrationPath()).dir().filePath("heights.json")).FindFocusUnit(200);
    ASSERT_TRUE(perUnit.has_value());
    EXPECT_NEAR(*perUnit, ReliefSlide::kMicrometresPerFocusStep, 1.0) << *perUnit; // 10 %, as above
}

TEST_F(MainDialogTest, HeightsOfPicturesSelectedOpenTheHeightsWindowAndTooFewAreRefused)
{
    Start(true);
    // Four pictures of the relief specimen at four focus positions, taken at 200X.
    ReliefSlide slide;
    slide.Prepare(320, 256);
    const QString folder = dialog_->Folders().picture;
    CThumbnailList& list = dialog_->ThumbnailList();
    const int focuses[] = {10, 40, 70, 95};
    for (int i = 0; i < 4; ++i) {
        QImage frame(320, 256, QImage::Format_BGR888);
        slide.Render(focuses[i], frame.bits(), static_cast<std::size_t>(frame.bytesPerLine()));
        const QString path = folder + QStringLiteral("/Still_2026-12-09_10103%1_200X_N000%1.bmp").arg(i + 1);
        ASSERT_TRUE(frame.save(path, "BMP"));
        list.AddCapturedPicture(path);
    }
    WaitForListDrawn();
    // Two selected: three or more are needed, and the user is told so.
    QTest::mouseClick(&list, Qt::LeftButton, {}, list.Cells()[0].center());
    QTest::mouseClick(&list, Qt::LeftButton, Qt::ShiftModifier, list.Cells()[1].center());
    {
        MessageBoxRecorder boxes;
        dialog_->OnCommand(ID_CAPTURE_HEIGHTS);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_TRUE(boxes.Boxes()[0].text.contains("three or more")) << boxes.Boxes()[0].text.toStdString();
    }
    QTest::mouseClick(&list, Qt::LeftButton, Qt::ShiftModifier, list.Cells()[3].center());
    ASSERT_EQ(list.SelectedPaths().size(), 4);
    bool shown = false;
    dialog_->ListCommandsForTests().runHeightsWindow = [&](CHeightsDlg& window) {
        shown = true;
        // The components stand far above the board; nothing calibrated: said so.
        EXPECT_GT(window.Map().KnownShare(), 0.5);
        EXPECT_TRUE(window.Map().nominal);
        window.PickPoint({70, 95}); // the board below the first component
        window.PickPoint({70, 60}); // the component's top
        ASSERT_TRUE(window.Difference().has_value()) << window.MeasurementText().toStdString();
        EXPECT_GT(window.Difference()->first, 300);
        EXPECT_TRUE(window.MeasurementText().contains("nominal")) << window.MeasurementText().toStdString();
    };
    dialog_->OnCommand(ID_CAPTURE_HEIGHTS);
    EXPECT_TRUE(shown);
}

namespace {

// The contrast (as WCAG counts it) between the lightest and the darkest pixel of a picture:
// text on its background reads from about 4.5 up.
double Contrast(const QImage& picture)
{
    double darkest = 1, lightest = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            const double l = 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
            darkest = std::min(darkest, l);
            lightest = std::max(lightest, l);
        }
    return (lightest + 0.05) / (darkest + 0.05);
}

QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(35, 38, 41));
    dark.setColor(QPalette::WindowText, QColor(239, 240, 241));
    dark.setColor(QPalette::Base, QColor(27, 30, 32));
    dark.setColor(QPalette::Text, QColor(239, 240, 241));
    dark.setColor(QPalette::Button, QColor(49, 54, 59));
    dark.setColor(QPalette::ButtonText, QColor(239, 240, 241));
    dark.setColor(QPalette::Highlight, QColor(61, 174, 233));
    dark.setColor(QPalette::HighlightedText, QColor(252, 252, 252));
    return dark;
}

} // namespace

TEST_F(MainDialogTest, UnderADarkThemeTheMenuBarAndThePopUpMenusRead)
{
    const QPalette before = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    Start(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
    // Each title of the menu bar on its own: its text against the bar.
    QMenuBar& bar = dialog_->MenuBar();
    for (QAction* title : bar.actions()) {
        const QImage shot = bar.grab(bar.actionGeometry(title)).toImage();
        EXPECT_GE(Contrast(shot), 4.5) << title->text().toStdString();
    }
    // The preview's owner-drawn menu.
    CMenuXP menu;
    menu.addAction(QStringLiteral("Cross Line"));
    menu.ensurePolished();
    menu.adjustSize();
    EXPECT_GE(Contrast(menu.grab().toImage()), 4.5);
    QApplication::setPalette(before);
}

TEST_F(MainDialogTest, EveryButtonIsNamedAndReachedWithTabAndTheListWorksFromTheKeyboard)
{
    const QString folder = documents_.path() + "/QRV-DM500 files/Picture/";
    for (int i = 1; i <= 3; ++i)
        WriteFile(folder + QString("Still_N%1.bmp").arg(i, 4, 10, QChar('0')), SmallBmp(qRgb(0, 0, 200)));
    Start(true);
    dialog_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    // Tab goes round every visible button, the list and the magnification box.
    std::set<QWidget*> reached;
    dialog_->MagnificationBox().setFocus();
    for (int i = 0; i < 20; ++i) {
        reached.insert(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (const int id : {IDC_CAMERA, IDC_AVI, IDC_CLOCK, IDC_SAVE, IDC_EMAIL}) {
        QWidget* button = dialog_->Button(id);
        EXPECT_TRUE(reached.count(button)) << id;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_TRUE(accessible);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << id;
    }
    EXPECT_TRUE(reached.count(&dialog_->ThumbnailList()));
    EXPECT_TRUE(reached.count(&dialog_->MagnificationBox()));
    EXPECT_FALSE(
        QAccessible::queryAccessibleInterface(&dialog_->MagnificationBox())->text(QAccessible::Name).isEmpty());

    // The list: arrows choose, Shift adds, Enter opens, Delete deletes.
    CThumbnailList& list = dialog_->ThumbnailList();
    list.setFocus();
    QSignalSpy open(&list, &CThumbnailList::openRequested), remove(&list, &CThumbnailList::deleteRequested);
    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(list.SelectedIndex(), 0);
    QTest::keyClick(&list, Qt::Key_Right);
    EXPECT_EQ(list.SelectedIndex(), 1);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(list.SelectedPaths().size(), 2);
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(open.count(), 1);
    EXPECT_EQ(remove.count(), 1);
    // Ctrl+Page Down shows the videos.
    QTest::keyClick(&list, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_FALSE(list.ShowingPictures());

    // Photo Measure's buttons are named and reached with Tab too.
    CPhotoMeasureDlg measure(folder + "Still_N0001.bmp", nullptr, dialog_->CalibrationPath());
    measure.show();
    measure.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&measure));
    std::set<QWidget*> inMeasure;
    QWidget* start = measure.Button(CPhotoMeasureDlg::IDC_OPEN);
    start->setFocus();
    for (int i = 0; i < 30; ++i) {
        inMeasure.insert(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : start, Qt::Key_Tab);
    }
    using M = CPhotoMeasureDlg;
    for (const int id :
         {M::IDC_OPEN, M::IDC_SAVE, M::IDC_DRAW, M::IDC_MEASURE, M::IDC_PEN, M::IDC_TEXT, M::IDC_UNDO, M::IDC_REDO}) {
        QWidget* button = measure.Button(id);
        EXPECT_TRUE(inMeasure.count(button)) << id;
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name).isEmpty()) << id;
    }
}

TEST_F(MainDialogTest, DamagedSettingsAreKeptAsideAndReportedOnceAndAKilledSavesLeftoversGo)
{
    const QString config = program_.path();
    // One sensible calibration and one that is not; a device file and a reference that are no files of ours.
    WriteFile(config + "/calibrations.json",
              R"({"unit":"mm","calibrations":[{"magnification":200,"millimetresPerPixel":0.00125,"name":"200X"},)"
              R"({"magnification":50,"millimetresPerPixel":-1,"name":"broken"}]})");
    WriteFile(config + "/devices.json", "{ \"devices\": ");
    WriteFile(config + "/flatfield-0123456789abcdef-640x480.bin", "QRVFLAT1 and then nothing sensible");
    // A still and a recording a kill cut off while they were written, beside a whole still.
    const QString pictures = documents_.path() + "/QRV-DM500 files/Picture";
    WriteFile(pictures + "/Still_2026-12-07_101010_N0001.bmp", SmallBmp(qRgb(1, 2, 3)));
    WriteFile(pictures + "/Still_2026-12-07_101011_N0002.bmp.TZ0JWS", "half a picture");
    WriteFile(documents_.path() + "/QRV-DM500 files/Video/Video_2026-12-07_101012_N0001.avi.a1B2c3", "half");

    MessageBoxRecorder boxes;
    Start(true);
    ASSERT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
    QCoreApplication::processEvents();   // anything else the start had to say
    ASSERT_EQ(boxes.Boxes().size(), 1u); // one message for all
    const QString text = boxes.Boxes()[0].text;
    for (const char* name : {"calibrations.json", "devices.json", "flatfield-0123456789abcdef-640x480.bin"}) {
        EXPECT_TRUE(text.contains(name)) << name << "\n" << text.toStdString();
        EXPECT_TRUE(QFile::exists(config + "/" + name + ".damaged")) << name;
    }
    EXPECT_TRUE(text.contains("the 1 calibrations that could be read are used")) << text.toStdString();
    // What could be read goes on: the 200X calibration measures as before.
    const CalibrationStore calibrations(config + "/calibrations.json");
    EXPECT_TRUE(calibrations.LoadError().isEmpty());
    EXPECT_TRUE(calibrations.Find(200).has_value());
    EXPECT_FALSE(calibrations.Find(50).has_value());
    // The leftovers of the killed saves are gone, the whole still stays.
    EXPECT_FALSE(QFile::exists(pictures + "/Still_2026-12-07_101011_N0002.bmp.TZ0JWS"));
    EXPECT_FALSE(QFile::exists(documents_.path() + "/QRV-DM500 files/Video/Video_2026-12-07_101012_N0001.avi.a1B2c3"));
    EXPECT_TRUE(QFile::exists(pictures + "/Still_2026-12-07_101010_N0001.bmp"));

    // The next start has nothing to say.
    CloseWindow();
    MessageBoxRecorder again;
    Start(true);
    QCoreApplication::processEvents(); // the start's notices are posted at once
    EXPECT_TRUE(again.Boxes().empty());
}

TEST_F(MainDialogTest, MeasuringOnTheLivePictureGoesIntoATiffStillAndEscTakesItAway)
{
    Start(true);
    backend_->Microscope()->SetSlide(Slide::StageMicrometer);
    PressKey(Qt::Key_F11); // 640 x 480, the micrometer from the stream's restart
    // The micrometer's truth: 1.6 mm across (a calibration is kept for 1280 pixels).
    ASSERT_TRUE(CalibrationStore(dialog_->CalibrationPath()).Set({200, 0.00125, QStringLiteral("200X")}));
    dialog_->MagnificationBox().setText("200");
    dialog_->OnCommand(ID_STILL_FORMAT_TIFF);
    LiveMeasureCommands& measure = dialog_->LiveMeasure();
    ASSERT_TRUE(WaitUntil([&] { return dialog_->Engine().LastFrameWidth() == 640 && !measure.ShownIn().isEmpty(); }));
    QImage frame;
    dialog_->Engine().CurrentFrame().With([&](const Frame& f) {
        frame = QImage(f.pixels.data(), f.width, f.height, static_cast<qsizetype>(f.stride), QImage::Format_BGR888)
                    .convertToFormat(QImage::Format_RGB32);
        return true;
    });
    const Micrometer m = FindMicrometer(frame);
    ASSERT_GE(m.longLines.size(), 2u);
    const QRect shown = measure.ShownIn();

    auto onPreview = [&](double x, double y) {
        return QPoint(shown.left() + static_cast<int>(x * shown.width() / 640),
                      shown.top() + static_cast<int>(y * shown.height() / 480));
    };
    const double y = m.baselineY - 0.04 * 640;
    const double pitch = m.longLines[1] - m.longLines[0];

    // The caliper from the pop-up's command, two clicks across two long division lines.
    dialog_->OnCommand(ID_MEASURE_CALIPER);
    QTest::mouseClick(&dialog_->Engine(), Qt::LeftButton, {}, onPreview(m.longLines[0] - pitch / 4, y));
    QTest::mouseClick(&dialog_->Engine(), Qt::LeftButton, {}, onPreview(m.longLines[1] + pitch / 4, y));
    ASSERT_EQ(measure.Measurement().Shapes().size(), 1u);
    ASSERT_TRUE(measure.Measurement().Shapes()[0].caliper.has_value());
    EXPECT_EQ(measure.Measurement().LabelOf(measure.Measurement().Shapes()[0], measure.Scale()), "0.100 mm");
    // A count of two marks.
    dialog_->OnCommand(ID_MEASURE_COUNT);
    QTest::mouseClick(&dialog_->Engine(), Qt::LeftButton, {}, onPreview(100, 100));
    QTest::mouseClick(&dialog_->Engine(), Qt::LeftButton, {}, onPreview(200, 100));
    EXPECT_EQ(measure.Measurement().CountReadout(measure.Scale()).left(7), "2 marks");

    // F2 keeps them in the TIFF as shapes, measured in the still's pixels.
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->LastPicturePath().isEmpty(); }));
    PictureMetadata carried;
    QString reason;
    ASSERT_FALSE(ReadPictureFile(dialog_->LastPicturePath(), &reason, &carried).isNull()) << reason.toStdString();
    ASSERT_EQ(carried.overlay.size(), 2u);
    EXPECT_EQ(carried.overlay[0].name, "Caliper");

    const QPointF span = carried.overlay[0].points[1] - carried.overlay[0].points[0];
    EXPECT_NEAR(std::hypot(span.x(), span.y()) * carried.millimetresPerPixel, 0.100, 0.0005);
    EXPECT_EQ(carried.overlay[1].kind, OverlayShape::Kind::Points);
    EXPECT_EQ(carried.overlay[1].points.size(), 2u);

    // A bitmap cannot keep shapes: they are drawn into its pixels.
    dialog_->OnCommand(ID_STILL_FORMAT_BMP);
    const QString tiffStill = dialog_->LastPicturePath();
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->LastPicturePath() != tiffStill; }));
    const QImage bitmap(dialog_->LastPicturePath());
    const QRgb onLine = bitmap.pixel(static_cast<int>(m.longLines[0]), static_cast<int>(std::lround(y)));
    EXPECT_GT(qRed(onLine), 200);
    EXPECT_LT(qBlue(onLine), 100); // the shapes' yellow, not the slide's grey or the ink

    // Esc takes them away (and puts the tool down); a second Esc has nothing to do.
    PressKey(Qt::Key_Escape);
    EXPECT_TRUE(measure.Measurement().Empty());
    EXPECT_TRUE(measure.ToolIs(LiveMeasurement::Tool::None));
}
