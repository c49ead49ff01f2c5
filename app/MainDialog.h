#pragma once
// The program's main window: the live preview, the capture buttons, the thumbnail list and
// two read-outs on a skinned, fixed-size panel. It owns the media folders and builds its
// parts: the commands (MainCommands), the microscope's presence (DevicePresence) and the
// full-screen preview (FullScreenMode); it routes the user's clicks and keys to them.

#include "app/DevicePresence.h"
#include "app/FullScreenMode.h"
#include "app/MainCommandHost.h"
#include "app/MainCommands.h"
#include "app/ProgramPaths.h"
#include "app/SoundPlayer.h"
#include "app/commands/ListCommands.h"
#include "app/commands/LiveMeasureCommands.h"
#include "app/commands/OverlayCommands.h"
#include "app/commands/SharingCommands.h"
#include "app/commands/StillKeeping.h"
#include "app/recording/RecordingControl.h"
#include "app/recording/RecordingHost.h"
#include "capture/DeviceSettingsMemory.h"
#include "framework/ModalDialog.h"

#include <QImage>

#include <array>
#include <functional>
#include <memory>

class CCalibrationsDlg;
class CommandTable;
class FlatFieldControl;
class StillFormatSetting;
class LiveFocusStack;
class LiveMosaic;
class FocusDisplay;
class FocusMeter;
class CCaptureGraph;
class CLatchButton;
class CThumbnailList;
class CTimeLapseDlg;
class CEmailDlg;
class CVideoPlayerDlg;
class QLineEdit;
class QMenuBar;
class SingleInstance;

class CMainDialog : public CModalDialog,
                    public RecordingHost,
                    public MainCommandHost,
                    public ListCommandHost,
                    public OverlayCommandHost,
                    public StillKeepingHost,
                    public LiveMeasureHost,
                    public SharingCommandHost {
    Q_OBJECT
public:
    static constexpr QSize kClientSize{868, 580};
    static constexpr QRect kPreviewRect{249, 34, 610, 480};
    static constexpr QRect kListRect{8, 120, 220, 420};
    static constexpr QRect kPicturesTab{10, 57, 101, 57}; // (10, 57) .. (110, 113)
    static constexpr QRect kVideosTab{124, 56, 101, 59};  // (124, 56) .. (224, 114)
    static constexpr QRect kResolutionReadout{260, 515, 75, 12};
    static constexpr QRect kFocusBar{345, 515, 240, 14};
    // Beside the recording counter: the frames a recording lost, when any.
    static constexpr QRect kDroppedReadout{590, 517, 142, 16};

    // Where the window finds its files; empty means the program's own places. Tests point
    // both at temporary folders.
    struct Places {
        QString documentsFolder;
        QString programDirectory;
        QString configFolder;     // where each microscope's settings are remembered
        std::uint16_t languageId; // 0 (as left out): the system's language
    };

    CMainDialog(backend::CaptureBackend& backend, SingleInstance& instance, QWidget* parent = nullptr,
                const Places& places = {});
    ~CMainDialog() override;

    // Runs a command of the buttons, menus and keys by its number.
    void OnCommand(int command);
    void ReturnToPreview() override;
    void RefreshTooltips() override;
    // Brings the window (and a box open over it) to the front.
    void ComeForward();
    // The AVI button latched and Preview not while a recording runs; the other way round after.
    void SetRecordingLatches(bool recording) override;
    // The green seconds counter of a recording, drawn over the skin at (737, 516).
    void ShowRecordCounter(int seconds, std::int64_t framesDropped) override;
    bool FramesAreCorrected() const override;
    void HideRecordCounter() override;
    bool IsRecordCounterShown() const { return recordCounter_ >= 0; }
    void ShowPictureList(bool pictures);
    void EnterFullScreen();
    void LeaveFullScreen() override;

    // The parts of the window, for its commands, for tests and for the dialogs that hang off it.
    CCaptureGraph& Engine() const override { return *engine_; }
    // The recording's view of the window.
    QWidget& HostWidget() override { return *this; }
    QString VideoFolder() const override { return folders_.video; }
    void PlaySound(int soundId) override;
    void VideoRecorded(const QString& path) override;
    CThumbnailList& ThumbnailList() const override { return *list_; }
    DevicePresence& Presence() const { return *presence_; }
    CRecordingControl& Recording() const override { return *recording_; }
    const MediaFolders& Folders() const override { return folders_; }
    bool IsConnected() const override { return connected_; }
    bool IsFullScreen() const override;
    bool IsPreviewState() const override;
    QLineEdit& MagnificationBox() const { return *magnificationBox_; }
    QString MagnificationText() const override;
    void CaptureSizeChanged() override;
    int Magnification() const { return stills_.Magnification(); }
    const std::array<int, 4>& OverlayCounters() const { return overlayCommands_.Counters(); }
    SoundPlayer& Sounds() { return sounds_; }
    const SoundPlayer& Sounds() const { return sounds_; }
    QWidget& ClientArea() const { return *client_; }
    QMenuBar& MenuBar() const { return *menuBar_; }
    QWidget* Button(int controlId) const;
    QString LastPicturePath() const { return stills_.LastPicturePath(); }
    QString MessageCaption() const override { return messageCaption_; }

    // Runs the window's dialogs (time-lapse, e-mail, player, calibrations, Video Setting,
    // flat field): modally, or through `dialogRunner` when one is set (tests answer there).
    std::function<void(CModalDialog&)> dialogRunner;
    void RunDialog(CModalDialog& dialog) override;
    // The stage calibrations' file.
    QString CalibrationPath() const override { return calibrationPath_; }
    // The format new stills are written in.
    StillFormatSetting& StillFormat() const override { return *stillFormat_; }
    // The processing steps in the frame path and their controls.
    FlatFieldControl& FlatField() const override { return *flatField_; }
    FocusMeter& Focus() const override { return *focusMeter_; }
    LiveFocusStack& LiveStack() const override { return *liveStack_; }
    LiveMosaic& LiveMosaicStep() const override { return *liveMosaic_; }
    const MainCommands& Commands() const { return commands_; }
    LiveMeasureCommands& LiveMeasure() { return liveMeasure_; }
    ListCommands& ListCommandsForTests() { return listCommands_; }
    std::vector<OverlayShape> LiveShapes() const override { return liveMeasure_.Measurement().AsOverlay(); }
    void DrawLiveMeasurements(QImage& picture) const override;
    LiveInfo SharedLiveInfo() const override { return liveMeasure_.ForViewers(); }
    SharingCommands& Sharing() const { return *sharing_; }

    // The focus bar follows the client area: under the picture, or in full screen over it.
    void PlaceFocusBar();
    // Paints the skin, the scale label and the resolution read-out of the client area.
    void PaintClient(QPainter& painter, const QRect& dirty);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void KeepDamagedSettingsAside(const QString& configFolder);
    struct ToolEntry {
        QWidget* button = nullptr;
        int controlId = 0;
        QString tooltip;
    };

    void BuildLayout();
    void PlaceMenuBar();
    void BuildButtons();
    void ShowControls(bool show);
    void KeepNormalSize();
    void OnPresenceChanged(DevicePresence::State state);
    bool HandleMouse(QObject* watched, QEvent* event);

    backend::CaptureBackend& backend_;
    SingleInstance& instance_;
    QString programDirectory_;
    MediaFolders folders_;
    std::unique_ptr<DeviceSettingsMemory> deviceMemory_;
    QString calibrationPath_;
    std::unique_ptr<StillFormatSetting> stillFormat_;
    QString messageCaption_;
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    CCaptureGraph* engine_ = nullptr;
    CThumbnailList* list_ = nullptr;
    CLatchButton* previewButton_ = nullptr;
    CLatchButton* aviButton_ = nullptr;
    QLineEdit* magnificationBox_ = nullptr;
    std::array<ToolEntry, 7> tools_;
    QImage skin_;
    QImage scaleLabel_;
    QImage resolutionReadout_;
    QFont largeFont_;
    QFont smallFont_;
    bool connected_ = false;
    SoundPlayer sounds_;
    StillKeeping stills_{*this};
    MainCommands commands_{*this, stills_};
    ListCommands listCommands_{*this, stills_};
    OverlayCommands overlayCommands_{*this};
    LiveMeasureCommands liveMeasure_{*this};
    std::unique_ptr<CommandTable> commandTable_;
    std::unique_ptr<CRecordingControl> recording_;
    std::unique_ptr<DevicePresence> presence_;
    int recordCounter_ = -1;         // seconds shown, or -1
    std::int64_t recordDropped_ = 0; // frames the recording lost, shown under the seconds when not 0
    std::unique_ptr<FullScreenMode> fullScreen_;
    std::unique_ptr<SharingCommands> sharing_; // before the engine goes: it follows its frames
    FlatFieldControl* flatField_ = nullptr;    // a child
    std::shared_ptr<FocusMeter> focusMeter_;
    std::shared_ptr<LiveFocusStack> liveStack_;
    std::shared_ptr<LiveMosaic> liveMosaic_;
    FocusDisplay* focusDisplay_ = nullptr;
};
