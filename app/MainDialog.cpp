#include "MainDialog.h"

#include "AppMessages.h"
#include "AviStreamLock.h"
#include "BitmapButton.h"
#include "CaptureGraph.h"
#include "Commands.h"
#include "DialogUnits.h"
#include "FileDialogs.h"
#include "LangText.h"
#include "MainMenus.h"
#include "MenuXP.h"
#include "PhotoMeasureDlg.h"
#include "Resources.h"
#include "SingleInstance.h"
#include "StillPicture.h"
#include "ThumbnailList.h"
#include "capture/backend/CaptureBackend.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QIntValidator>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace {

// The client area under the menu bar: the skin and the two read-outs.
class SkinPanel : public QWidget {
public:
    SkinPanel(CMainDialog& owner, QWidget* parent) : QWidget(parent), owner_(owner)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        owner_.PaintClient(painter, event->rect());
    }

private:
    CMainDialog& owner_;
};

// The classic dialog font's base units, in which the window's template places its box.
constexpr DialogBaseUnits kTemplateBaseUnits{6, 13};
const QColor kReadoutColour(0, 125, 255);

QString ExtensionOf(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : path.mid(dot + 1);
}

QString DirectoryOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

} // namespace

CMainDialog::CMainDialog(backend::CaptureBackend& backend, SingleInstance& instance, QWidget* parent,
                         const Places& places)
    : CModalDialog(parent), backend_(backend), instance_(instance), largeFont_(MakeFixedFont(20, 20)),
      smallFont_(MakeFixedFont(10, 10))
{
    setWindowTitle(QStringLiteral("QRV-DM500"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    SetSwallowEscAndEnter(true);

    // The single-instance marker goes on first, so a second copy finds this one at once.
    instance_.Attach([this] {
        if (IsFullScreen()) LeaveFullScreen();
        showNormal();
        raise();
        activateWindow();
    });
    programDirectory_ = places.programDirectory.isEmpty() ? ProgramDirectory() : places.programDirectory;
    SelectLanguageFile(programDirectory_);
    folders_ = MediaFolders::Create(places.documentsFolder);
    setWindowIcon(resources::LoadIcon(IDR_MAINFRAME));
    messageCaption_ = LangText("MsgTitle", 30, "QRV-DM500");

    BuildLayout();
    BuildMainMenu(*menuBar_, [this](int command) { OnCommand(command); });
    PlaceMenuBar();
    QFile::remove(folders_.video + QStringLiteral("/test.avi")); // a leftover compressor probe
    engine_->Texts().SetFullScreenHint(LangText("EscRestore", 30, "ESC Restore"));
    savedTitle_ = windowTitle();
    StartEngine();
    RefreshTooltips();

    qApp->installEventFilter(this);
}

CMainDialog::~CMainDialog()
{
    qApp->removeEventFilter(this);
    backend_.SetDeviceNotify(nullptr);
    instance_.Detach();
}

// ---- layout ------------------------------------------------------------------------------

void CMainDialog::BuildLayout()
{
    // The window's client area is exactly the skin's size; the menu bar takes its height
    // from it.
    setFixedSize(kClientSize);
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    menuBar_->setStyleSheet(QStringLiteral("QMenuBar { background: #F8F8F8; }"));
    client_ = new SkinPanel(*this, this);

    skin_ = resources::LoadBitmapImage(IDB_SKIN).convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&skin_);
        painter.drawImage(7, 51, resources::LoadBitmapImage(IDB_TAB_PICTURES));
    }
    scaleLabel_ = resources::LoadBitmapImage(IDB_SCALE_LABEL);
    resolutionReadout_ = resources::LoadBitmapImage(IDB_RESOLUTION_READOUT);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.left() + (available.width() - kClientSize.width()) / 2,
             available.top() + (available.height() - kClientSize.height()) / 2);
    }

    engine_ = new CCaptureGraph(backend_, CaptureConfigPath(programDirectory_), client_);
    engine_->setGeometry(kPreviewRect);
    engine_->SetOverlayFont(largeFont_);
    engine_->installEventFilter(this);

    list_ = new CThumbnailList(folders_.picture, folders_.video, client_);
    list_->setGeometry(kListRect);
    list_->UpdateScrollBar();
    list_->installEventFilter(this);
    client_->installEventFilter(this);

    BuildButtons();

    magnificationBox_ = new QLineEdit(client_);
    magnificationBox_->setGeometry(DialogUnitsToPixels(QRect(542, 5, 27, 12), kTemplateBaseUnits));
    magnificationBox_->setMaxLength(3);
    magnificationBox_->setValidator(new QIntValidator(-99, 999, magnificationBox_));
    magnificationBox_->setAlignment(Qt::AlignRight);
}

void CMainDialog::BuildButtons()
{
    struct ButtonPlace {
        int id;
        int bitmap;
        QPoint at;
        bool latch;
        const char* key;
        const char* tip;
    };
    const ButtonPlace places[7] = {
        {IDC_PREVIEW, IDB_PREVIEW, {6, 1}, true, "TipPreview", "Preview"},
        {IDC_CAMERA, IDB_CAMERA, {15, 13}, false, "TipCamera", "Camera"},
        {IDC_AVI, IDB_AVI, {51, 13}, true, "TipVideo", "Recording Video"},
        {IDC_CLOCK, IDB_CLOCK, {98, 13}, false, "TipTimer", "Timer"},
        {IDC_SETTING, IDB_SETTING, {425, 0}, false, "TipSetting", "Setting"},
        {IDC_SAVE, IDB_SAVE, {184, 13}, false, "TipSave", "Save as"},
        {IDC_EMAIL, IDB_EMAIL, {134, 13}, false, "TipEMail", "E-Mail"},
    };
    for (std::size_t i = 0; i < 7; ++i) {
        const ButtonPlace& place = places[i];
        CBitmapButton* button = place.latch ? new CLatchButton(client_) : new CBitmapButton(client_);
        button->LoadBitmaps(resources::LoadBitmap(place.bitmap), resources::LoadBitmap(place.bitmap + IDB_PRESSED_OFFSET));
        button->move(place.at);
        const int id = place.id;
        connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
        // Preview and Setting exist for their commands but are never shown.
        button->setVisible(id != IDC_PREVIEW && id != IDC_SETTING);
        tools_[i] = {button, id, LangText(place.key, 64, place.tip)};
    }
    previewButton_ = static_cast<CLatchButton*>(tools_[0].button);
    cameraButton_ = static_cast<CBitmapButton*>(tools_[1].button);
    aviButton_ = static_cast<CLatchButton*>(tools_[2].button);
    clockButton_ = static_cast<CBitmapButton*>(tools_[3].button);
    settingButton_ = static_cast<CBitmapButton*>(tools_[4].button);
    saveButton_ = static_cast<CBitmapButton*>(tools_[5].button);
    emailButton_ = static_cast<CBitmapButton*>(tools_[6].button);
    aviButton_->Unlatch();
}

void CMainDialog::PlaceMenuBar()
{
    const int menuHeight = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, kClientSize.width(), menuHeight);
    client_->setGeometry(0, menuHeight, kClientSize.width(), kClientSize.height() - menuHeight);
}

QWidget* CMainDialog::Button(int controlId) const
{
    for (const auto& tool : tools_)
        if (tool.controlId == controlId) return tool.button;
    return nullptr;
}

void CMainDialog::PaintClient(QPainter& painter, const QRect& dirty)
{
    painter.drawImage(dirty.topLeft(), skin_, dirty);
    // Scale label and resolution read-out: text on their small bitmaps.
    QImage label = scaleLabel_.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&label);
        p.setFont(smallFont_);
        p.setPen(kReadoutColour);
        p.drawText(4, 6 + QFontMetrics(smallFont_).ascent(), LangText("Rate", 15, "Scale:"));
    }
    painter.drawImage(762, 6, label);
    QImage readout = resolutionReadout_.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&readout);
        p.setFont(smallFont_);
        p.setPen(kReadoutColour);
        p.drawText(0, QFontMetrics(smallFont_).ascent(),
                   QString::asprintf("%d%s%d", CaptureWidth.load(), "*", CaptureHeight.load()));
    }
    painter.drawImage(kResolutionReadout.topLeft(), readout);
}

// ---- the engine and the microscope's presence --------------------------------------------

void CMainDialog::StartEngine()
{
    backend_.SetDeviceNotify([this](backend::DeviceNotification n) { OnDeviceChange(n); });
    engine_->SetNotifyWindows(this, list_);
    engine_->CreateDeviceEnumerator();
    if (engine_->RefreshDeviceList() && engine_->BuildGraph()) {
        if (!engine_->ConnectPreview()) {
            SetTimer(kTimerDeviceCheck, 100);
        } else if (engine_->StartPreview()) {
            SetButtonsEnabled(true);
            previewButton_->Latch();
            SetConnectMessage(false);
            connected_ = true;
            return;
        }
    }
    TearDownEngine();
    SetButtonsEnabled(false);
    SetConnectMessage(true);
    connected_ = false;
}

void CMainDialog::SetButtonsEnabled(bool enabled)
{
    for (const auto& tool : tools_) tool.button->setEnabled(enabled);
}

void CMainDialog::SetConnectMessage(bool show)
{
    engine_->Texts().SetConnectMessage(
        show ? LangText("ConnectMsg", 64, "Please connect QRV-DM500 Digital Microscope") : QString());
}

void CMainDialog::TearDownEngine()
{
    engine_->StopPreview();
    engine_->TearDownDownstream();
    engine_->ReleaseAll();
}

void CMainDialog::OnDeviceChange(backend::DeviceNotification notification)
{
    switch (notification) {
    case backend::DeviceNotification::NodesChanged:
        // Every further notification within the second postpones the check.
        KillTimer(kTimerDeviceCheck);
        SetTimer(kTimerDeviceCheck, 1000);
        break;
    case backend::DeviceNotification::InterfaceArrival:
    case backend::DeviceNotification::RemoveComplete: CheckDevice(); break;
    }
}

void CMainDialog::CheckDevice()
{
    std::lock_guard lock(deviceLock_);
    if (engine_->IsRunning() && engine_->IsDevicePresent()) {
        engine_->RefreshDeviceList(); // another device came or went; the preview stays
        return;
    }
    TearDownEngine();
    if (engine_->RefreshDeviceList() && engine_->BuildGraph() && engine_->ConnectPreview() && engine_->StartPreview()) {
        SetButtonsEnabled(true);
        previewButton_->Latch();
        SetConnectMessage(false);
        engine_->update();
        connected_ = true;
        return;
    }
    TearDownEngine();
    SetButtonsEnabled(false);
    SetConnectMessage(true);
    engine_->update();
    connected_ = false;
}

void CMainDialog::OnTimer(int id)
{
    if (id == kTimerDeviceCheck) {
        KillTimer(kTimerDeviceCheck);
        CheckDevice();
    }
}

bool CMainDialog::IsPreviewState() const
{
    return aviButton_->IsLatched() || previewButton_->IsLatched();
}

void CMainDialog::ReturnToPreview()
{
    if (previewButton_->IsLatched()) {
        previewButton_->Unlatch();
        engine_->StopPreview();
    } else {
        previewButton_->Latch();
        engine_->StartPreview();
    }
    RefreshTooltips();
}

void CMainDialog::RefreshTooltips()
{
    for (const auto& tool : tools_) tool.button->setToolTip(IsFullScreen() ? QString() : tool.tooltip);
}

// ---- commands ----------------------------------------------------------------------------

void CMainDialog::OnCommand(int command)
{
    switch (command) {
    case IDC_PREVIEW: ReturnToPreview(); break;
    case IDC_CAMERA:
    case ID_CAPTURE_PICTURE: TakeStillPicture(); break;
    case IDC_CLOCK:
    case ID_CAPTURE_TIMELAPSE:
        if (!IsPreviewState())
            ShowMessageBox(this, LangText("BrowseToTimer", 100, "Please return to the preview state"),
                           QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
        break;
    case IDC_SAVE:
    case ID_FILE_SAVE_AS: SaveSelectedAs(); break;
    case IDC_EMAIL:
    case ID_FILE_EMAIL: {
        QString path;
        SelectedPath(path, false);
        break;
    }
    case ID_FILE_OPEN: OpenSelected(); break;
    case ID_FILE_DELETE: DeleteSelected(false); break;
    case ID_FILE_DELETE_ALL: DeleteSelected(true); break;
    case ID_SETTING_640: SetResolution(640, 480); break;
    case ID_SETTING_1280: SetResolution(1280, 1024); break;
    case ID_OVERLAY_CROSS:
    case ID_OVERLAY_SCALE:
    case ID_OVERLAY_CIRCLE:
    case ID_OVERLAY_TIME: SwitchOverlay(command); break;
    default: break; // recording, device settings, help and about live in their own windows
    }
}

void CMainDialog::OnFunctionKey(int key)
{
    switch (key) {
    case Qt::Key_F2: TakeStillPicture(); break;
    case Qt::Key_F3:
    case Qt::Key_F4: break; // quick recording starts and stops in the recorder
    case Qt::Key_F11: SetResolution(640, 480); break;
    case Qt::Key_F12: SetResolution(1280, 1024); break;
    default: break;
    }
}

void CMainDialog::TakeStillPicture()
{
    if (IsPreviewState()) {
        StillFromButton = 0;
        StillRequested = 1;
        return;
    }
    ShowMessageBox(this, LangText("BrowseToCamera", 100, "Please return to the preview state"),
                   QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
}

void CMainDialog::ReadMagnification()
{
    bool ok = false;
    const int value = magnificationBox_->text().trimmed().toInt(&ok);
    magnification_ = ok ? value : 0;
}

void CMainDialog::OnCaptureStill(std::uintptr_t fromButton)
{
    ReadMagnification();
    const StillSaveResult result =
        SaveStillPicture(folders_.picture, magnification_, QDateTime::currentDateTime(), [this] {
            ShowMessageBox(this, QStringLiteral("Picture Error"), QApplication::applicationName());
        });
    if (result.outcome == StillSaveResult::Saved) {
        lastPicturePath_ = result.path;
        list_->AddCapturedPicture(result.path);
        if (RecordingActive.load() == 1 || fromButton != 0) engine_->RestartPreview();
    } else if (result.outcome == StillSaveResult::Failed) {
        // A picture the user asked for and did not get must not go unnoticed.
        ShowMessageBox(this, QStringLiteral("The picture could not be saved:\n%1\n%2").arg(result.path, result.error),
                       QStringLiteral("Capture"), MessageButtons::Ok, MessageIcon::Error);
    }
    sounds_.Play(IDW_SHUTTER);
}

void CMainDialog::SwitchOverlay(int command)
{
    if (!connected_) return;
    const int index = command - ID_OVERLAY_CROSS;
    OverlaySwitches& overlays = engine_->Overlays();
    std::atomic<int>* switches[4] = {&overlays.crossLine, &overlays.coordinates, &overlays.circles, &overlays.dateTime};
    int& counter = overlayCounters_[static_cast<std::size_t>(index)];
    if (counter % 2 == 0) {
        *switches[index] = 1;
        ++counter;
    } else {
        *switches[index] = 0;
        --counter;
    }
    engine_->update();
}

void CMainDialog::SetResolution(int width, int height)
{
    engine_->SetResolution(width, height);
    client_->update(kResolutionReadout.adjusted(0, 0, 1, 1));
}

bool CMainDialog::SelectedPath(QString& path, bool useMessageCaption)
{
    if (list_->GetSelectedPath(path) != 0) return true;
    ShowMessageBox(this, LangText("SelectFile", 100, "Please select an image or video"),
                   useMessageCaption ? messageCaption_ : QApplication::applicationName(), MessageButtons::Ok,
                   MessageIcon::Exclamation);
    return false;
}

void CMainDialog::OpenSelected()
{
    QString path;
    if (!SelectedPath(path, true)) return;
    const QString extension = ExtensionOf(path);
    if (extension == QLatin1String("bmp") || extension == QLatin1String("BMP")) {
        PostAppMessage(this, WM_OPEN_PICTURE);
        ReadMagnification();
    } else {
        PostAppMessage(this, WM_OPEN_VIDEO);
    }
}

void CMainDialog::SaveSelectedAs()
{
    QString path;
    if (!SelectedPath(path, false)) return;
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString proposal = name.left(std::max<qsizetype>(0, name.size() - 4));
    SaveFileRequest request;
    QString refused;
    if (ShowingPictures) {
        request = {QString(), folders_.picture + QLatin1Char('/') + proposal,
                   QStringLiteral("Bitmap Files(*.bmp)|*.bmp|JPEG Files(*.jpg)|*.jpg||"), QStringLiteral("bmp")};
        refused = folders_.picture;
    } else {
        request = {QString(), folders_.video + QLatin1Char('/') + proposal, QStringLiteral("AVI Files(*.avi)|*.avi||"),
                   QStringLiteral("avi")};
        refused = folders_.video;
    }
    const QString chosen = GetSaveFileName(this, request);
    if (chosen.isEmpty()) return;
    if (chosen.size() >= refused.size() && DirectoryOf(chosen).compare(refused, Qt::CaseInsensitive) == 0) {
        ShowMessageBox(this, QStringLiteral("Can't save file to temp directory!!"), QStringLiteral("Save file"),
                       MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
    list_->SaveSelectedAs(chosen);
    list_->RedrawThumbnails();
}

void CMainDialog::DeleteSelected(bool all)
{
    QString path;
    if (!SelectedPath(path, true)) return;
    if (all) list_->DeleteAll();
    else list_->DeleteSelected();
    list_->UpdateScrollBar();
}

void CMainDialog::OpenPicture()
{
    QString path;
    if (list_->GetSelectedPath(path) == 0) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessageBox(this, QStringLiteral("the picture not open,please check the file exist!"),
                       QApplication::applicationName());
        return;
    }
    file.close();
    CPhotoMeasureDlg dialog(path, this);
    dialog.DoModal();
}

bool CMainDialog::OnAppMessage(const AppMessageEvent& message)
{
    switch (message.Message()) {
    case WM_CAPTURE_STILL: OnCaptureStill(message.WParam()); return true;
    case WM_CAPTURE_EVENT: engine_->HandleGraphEvent(); return true;
    case WM_OPEN_PICTURE: OpenPicture(); return true;
    case WM_OPEN_VIDEO: return true; // the video player opens here
    default: return false;
    }
}

// ---- lists, full screen, input -----------------------------------------------------------

void CMainDialog::ShowPictureList(bool pictures)
{
    if ((ShowingPictures != 0) == pictures) return;
    ShowingPictures = pictures ? 1 : 0;
    QPainter painter(&skin_);
    const QImage tab = resources::LoadBitmapImage(pictures ? IDB_TAB_PICTURES : IDB_TAB_VIDEOS);
    painter.drawImage(7, 51, tab);
    painter.end();
    client_->update(QRect(QPoint(6, 50), QPoint(tab.width() + 8, tab.height() + 54)));
    list_->RedrawThumbnails();
    RefreshTooltips();
}

bool CMainDialog::IsFullScreen() const
{
    return engine_ && engine_->Texts().fullScreen.load() != 0;
}

void CMainDialog::EnterFullScreen()
{
    if (IsFullScreen()) return;
    savedGeometry_ = geometry();
    savedTitle_ = windowTitle();
    for (const auto& tool : tools_) tool.button->hide();
    list_->hide();
    magnificationBox_->hide();
    menuBar_->hide();
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QRect screen = this->screen() ? this->screen()->geometry() : QRect(QPoint(0, 0), kClientSize);
    showFullScreen();
    setGeometry(screen);
    client_->setGeometry(0, 0, screen.width(), screen.height());
    engine_->setGeometry(client_->rect());
    engine_->show();
    engine_->Texts().fullScreen = 1;
    engine_->EnterFullScreen();
    RefreshTooltips();
}

void CMainDialog::LeaveFullScreen()
{
    if (!IsFullScreen()) return;
    showNormal();
    setFixedSize(kClientSize);
    setWindowTitle(savedTitle_);
    setGeometry(savedGeometry_);
    menuBar_->show();
    PlaceMenuBar();
    engine_->setGeometry(kPreviewRect);
    engine_->Texts().fullScreen = 0;
    RefreshTooltips();
    for (const auto& tool : tools_)
        tool.button->setVisible(tool.controlId != IDC_PREVIEW && tool.controlId != IDC_SETTING);
    list_->show();
    magnificationBox_->show();
    activateWindow();
    list_->UpdateScrollBar();
    engine_->LeaveFullScreen();
    // The window system may still report the full-screen size after this; the remembered
    // placement is applied once more when it has settled.
    QTimer::singleShot(0, this, [this] {
        if (!IsFullScreen()) setGeometry(savedGeometry_);
    });
}

bool CMainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != this) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        switch (key) {
        case Qt::Key_F2:
        case Qt::Key_F3:
        case Qt::Key_F4:
        case Qt::Key_F11:
        case Qt::Key_F12: OnFunctionKey(key); return true;
        case Qt::Key_Escape:
            if (IsFullScreen()) QMetaObject::invokeMethod(this, [this] { LeaveFullScreen(); }, Qt::QueuedConnection);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: return true; // never closes the window
        default: return false;
        }
    }
    if (watched == engine_ || watched == list_ || watched == client_) return HandleMouse(watched, event);
    return false;
}

bool CMainDialog::HandleMouse(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint global = mouse->globalPosition().toPoint();

    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        if (watched == list_) list_->SelectAt(global);
        if (watched == client_) {
            const QPoint at = mouse->position().toPoint();
            if (kVideosTab.contains(at)) ShowPictureList(false);
            else if (kPicturesTab.contains(at)) ShowPictureList(true);
            else return false;
            list_->UpdateScrollBar();
        }
        return false;
    }
    if (type == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton) {
        if (watched == engine_) {
            QMetaObject::invokeMethod(
                this, [this] { IsFullScreen() ? LeaveFullScreen() : EnterFullScreen(); }, Qt::QueuedConnection);
            return true;
        }
        if (watched == list_ && list_->SelectAt(global)) OpenSelected();
        return watched == list_;
    }
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
        if (watched == list_ && list_->SelectAt(global)) {
            QMenu menu(this);
            BuildListMenu(menu, [this](int command) { OnCommand(command); });
            menu.exec(global);
            return true;
        }
        if (watched == engine_) {
            CMenuXP menu(this);
            BuildPreviewMenu(menu, [this](int command) { OnCommand(command); });
            menu.exec(global);
            return true;
        }
    }
    return false;
}

void CMainDialog::changeEvent(QEvent* event)
{
    // The title bar's maximise button asks for the full-screen preview.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized) && !IsFullScreen())
        QMetaObject::invokeMethod(this, [this] { EnterFullScreen(); }, Qt::QueuedConnection);
    CModalDialog::changeEvent(event);
}

void CMainDialog::closeEvent(QCloseEvent* event)
{
    KillTimer(kTimerDeviceCheck);
    {
        // A recording still running is closed before the engine goes, so its file is whole.
        std::lock_guard lock(AviStreamLock());
        RecordingActive = 0;
    }
    TearDownEngine();
    backend_.SetDeviceNotify(nullptr);
    CModalDialog::closeEvent(event);
}
