#pragma once
// The program's main window: the live preview, the capture buttons, the thumbnail list and
// two read-outs on a skinned, fixed-size panel. It owns the media folders, starts and
// restarts the capture engine as the microscope comes and goes, switches to a full-screen
// preview, and routes every user action to the part of the program that does it.

#include "ModalDialog.h"
#include "ProgramPaths.h"
#include "SoundPlayer.h"

#include <QImage>
#include <QPointer>

#include <array>
#include <mutex>

class CBitmapButton;
class CCaptureGraph;
class CLatchButton;
class CThumbnailList;
class QLineEdit;
class QMenuBar;
class SingleInstance;

namespace backend {
class CaptureBackend;
enum class DeviceNotification;
} // namespace backend

class CMainDialog : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTimerDeviceCheck = 1001;
    static constexpr int kTimerRecordLimit = 1002;
    static constexpr int kTimerQuickRecord = 1005;
    static constexpr QSize kClientSize{868, 580};
    static constexpr QRect kPreviewRect{249, 34, 610, 480};
    static constexpr QRect kListRect{8, 120, 220, 420};
    static constexpr QRect kPicturesTab{10, 57, 101, 57};  // (10, 57) .. (110, 113)
    static constexpr QRect kVideosTab{124, 56, 101, 59};   // (124, 56) .. (224, 114)
    static constexpr QRect kResolutionReadout{260, 515, 75, 12};

    // Where the window finds its files; empty means the program's own places. Tests point
    // both at temporary folders.
    struct Places {
        QString documentsFolder;
        QString programDirectory;
    };

    CMainDialog(backend::CaptureBackend& backend, SingleInstance& instance, QWidget* parent = nullptr,
                const Places& places = {});
    ~CMainDialog() override;

    // Commands of the buttons, menus and keys.
    void OnCommand(int command);
    void OnFunctionKey(int key);
    void OnDeviceChange(backend::DeviceNotification notification);
    void CheckDevice();
    void TearDownEngine();
    void ReturnToPreview();
    void RefreshTooltips();
    void ShowPictureList(bool pictures);
    void EnterFullScreen();
    void LeaveFullScreen();

    // Read access for tests and for the dialogs that hang off this window.
    CCaptureGraph& Engine() const { return *engine_; }
    CThumbnailList& ThumbnailList() const { return *list_; }
    const MediaFolders& Folders() const { return folders_; }
    bool IsConnected() const { return connected_; }
    bool IsFullScreen() const;
    bool IsPreviewState() const;
    QLineEdit& MagnificationBox() const { return *magnificationBox_; }
    int Magnification() const { return magnification_; }
    const std::array<int, 4>& OverlayCounters() const { return overlayCounters_; }
    const SoundPlayer& Sounds() const { return sounds_; }
    QWidget& ClientArea() const { return *client_; }
    QMenuBar& MenuBar() const { return *menuBar_; }
    QWidget* Button(int controlId) const;
    QString LastPicturePath() const { return lastPicturePath_; }

    // Paints the skin, the scale label and the resolution read-out of the client area.
    void PaintClient(QPainter& painter, const QRect& dirty);

protected:
    void OnTimer(int id) override;
    bool OnAppMessage(const AppMessageEvent& message) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct ToolEntry {
        QWidget* button = nullptr;
        int controlId = 0;
        QString tooltip;
    };

    void BuildLayout();
    void PlaceMenuBar();
    void BuildButtons();
    void StartEngine();
    void SetButtonsEnabled(bool enabled);
    void SetConnectMessage(bool show);
    void TakeStillPicture();
    void OnCaptureStill(std::uintptr_t fromButton);
    void ReadMagnification();
    void SwitchOverlay(int command);
    void SetResolution(int width, int height);
    void OpenSelected();
    void SaveSelectedAs();
    void DeleteSelected(bool all);
    void OpenPicture();
    bool HandleMouse(QObject* watched, QEvent* event);
    bool SelectedPath(QString& path, bool useMessageCaption);

    backend::CaptureBackend& backend_;
    SingleInstance& instance_;
    QString programDirectory_;
    MediaFolders folders_;
    QString messageCaption_;
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    CCaptureGraph* engine_ = nullptr;
    CThumbnailList* list_ = nullptr;
    CLatchButton* previewButton_ = nullptr;
    CLatchButton* aviButton_ = nullptr;
    CBitmapButton* cameraButton_ = nullptr;
    CBitmapButton* clockButton_ = nullptr;
    CBitmapButton* settingButton_ = nullptr;
    CBitmapButton* saveButton_ = nullptr;
    CBitmapButton* emailButton_ = nullptr;
    QLineEdit* magnificationBox_ = nullptr;
    std::array<ToolEntry, 7> tools_;
    QImage skin_;
    QImage scaleLabel_;
    QImage resolutionReadout_;
    QFont largeFont_;
    QFont smallFont_;
    bool connected_ = false;
    std::mutex deviceLock_;
    int magnification_ = 0;
    QRect savedGeometry_;
    QString savedTitle_;
    Qt::WindowFlags savedFlags_;
    std::array<int, 4> overlayCounters_{};
    SoundPlayer sounds_;
    QString lastPicturePath_;
};
