#include "app/MainDialog.h"

#include "app/FocusDisplay.h"
#include "app/PictureDescription.h"
#include "app/settings/FlatFieldControl.h"
#include "app/stills/StillFormatSetting.h"
#include "app/stills/StillPicture.h"
#include "measure/StageCalibration.h"
#include "processing/FocusMeter.h"
#include "processing/LiveFocusStack.h"
#include "processing/LiveMosaic.h"

#include "app/Commands.h"
#include "app/PanelTexts.h"
#include "app/SingleInstance.h"
#include "app/WindowAccessibility.h"
#include "browser/ThumbnailList.h"
#include "capture/CaptureGraph.h"
#include "framework/DialogUnits.h"
#include "framework/LangText.h"
#include "framework/Logging.h"
#include "framework/RegularFile.h"
#include "framework/WindowSystem.h"
#include "measure/StageCalibration.h"
#include "processing/FlatFieldStore.h"
#include "resources/Resources.h"
#include "widgets/BitmapButton.h"
#include "widgets/CommandTable.h"
#include "widgets/FittedText.h"
#include "widgets/MenuXP.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIntValidator>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
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
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        owner_.PlaceFocusBar();
    }

private:
    CMainDialog& owner_;
};

// The classic dialog font's base units, in which the window's template places its box.
constexpr DialogBaseUnits kTemplateBaseUnits{6, 13};
const QColor kReadoutColour(0, 125, 255);

} // namespace

CMainDialog::CMainDialog(backend::CaptureBackend& backend, SingleInstance& instance, QWidget* parent,
                         const Places& places)
    : CModalDialog(parent), backend_(backend), instance_(instance), largeFont_(MakeFixedFont(20, 20)),
      smallFont_(MakeFixedFont(10, 10))
{
    setWindowTitle(QStringLiteral("QRV-DM500"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    SetSwallowEscAndEnter(true);
    // Tooltips show whether or not the window has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    InstallWindowAccessibility();

    // The single-instance marker goes on first, so a second copy finds this one at once.
    instance_.Attach([this] { ComeForward(); });
    programDirectory_ = places.programDirectory.isEmpty() ? ProgramDirectory() : places.programDirectory;
    SelectLanguageFile(places.programDirectory.isEmpty() ? DataDirectory() : places.programDirectory,
                       places.languageId ? places.languageId : SystemLanguageId());
    folders_ = MediaFolders::Create(places.documentsFolder);
    // What a kill in the middle of saving left behind (only one copy runs at a time).
    RemoveStaleTemporaryFiles(folders_.picture);
    RemoveStaleTemporaryFiles(folders_.video);
    const QString configFolder = places.configFolder.isEmpty()
                                     ? QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
                                     : places.configFolder;
    // A first start on this computer: the settings and calibrations have a folder to go to.
    QDir().mkpath(configFolder);
    calibrationPath_ = configFolder + QStringLiteral("/calibrations.json");
    deviceMemory_ = std::make_unique<DeviceSettingsMemory>(configFolder + QStringLiteral("/devices.json"));
    KeepDamagedSettingsAside(configFolder);
    stillFormat_ = std::make_unique<StillFormatSetting>(configFolder + QStringLiteral("/stills.json"));
    setWindowIcon(resources::LoadIcon(IDR_MAINFRAME));
    messageCaption_ = LangText("MsgTitle", 30, "QRV-DM500");

    BuildLayout();
    sharing_ = std::make_unique<SharingCommands>(static_cast<SharingCommandHost&>(*this));
    commandTable_ = std::make_unique<CommandTable>(*this);
    DeclareMainCommands(*commandTable_, commands_, listCommands_, overlayCommands_, *sharing_, liveMeasure_, *this);
    commandTable_->BuildMenuBar(*menuBar_);
    PlaceMenuBar();
    engine_->SetFullScreenHint(LangText("EscRestore", 30, "ESC Restore"));
    connect(engine_, &CCaptureGraph::StillDue, this, [this](StillSource source) { commands_.OnCaptureStill(source); });
    fullScreen_ = std::make_unique<FullScreenMode>(*this, *client_, *engine_, kClientSize, kPreviewRect,
                                                   [this](bool show) { ShowControls(show); });
    recording_ = std::make_unique<CRecordingControl>(*this);
    // The processing stage: even light first, then the focus measure on the evened picture.
    flatField_ = new FlatFieldControl(*engine_, configFolder, this);
    focusMeter_ = std::make_shared<FocusMeter>();
    // Last, the live focus stack: it puts the stack in the frame's place while it runs.
    liveStack_ = std::make_shared<LiveFocusStack>();
    liveMosaic_ = std::make_shared<LiveMosaic>();
    engine_->SetProcessingSteps({flatField_->Step(), focusMeter_, liveStack_, liveMosaic_});
    // Over each frame: focus peaking, then what is measured on the live picture.
    engine_->SetExtraOverlay([this, meter = focusMeter_](QPainter& painter, const QRect& area) {
        DrawPeaking(painter, area, *meter);
        liveMeasure_.Draw(painter, area);
    });
    focusDisplay_ = new FocusDisplay(focusMeter_, client_);
    PlaceFocusBar();
    presence_ = std::make_unique<DevicePresence>(backend_, *engine_);
    connect(presence_.get(), &DevicePresence::StateChanged, this, &CMainDialog::OnPresenceChanged);
    connect(presence_.get(), &DevicePresence::DeviceListChanged, this, [this] { commands_.OnDeviceListChanged(); });
    presence_->Start();
    RefreshTooltips();
}

void CMainDialog::KeepDamagedSettingsAside(const QString& configFolder)
{
    // Damaged settings files are kept aside, the program goes on with what could be read, and
    // the user hears of it once, when the window is up.
    QStringList notices;
    if (const QString notice = CalibrationStore::Recover(calibrationPath_); !notice.isEmpty()) notices << notice;
    if (const QString notice = deviceMemory_->KeepDamagedFileAside(); !notice.isEmpty()) notices << notice;
    notices << FlatFieldStore(configFolder).KeepDamagedFilesAside();
    if (notices.isEmpty()) return;
    QTimer::singleShot(0, this, [this, notices] {
        ShowMessageBox(this,
                       LangText("DamagedSettings", 100, "Some settings files were damaged and have been kept aside:") +
                           QStringLiteral("\n\n") + notices.join(QStringLiteral("\n\n")),
                       messageCaption_, MessageButtons::Ok, MessageIcon::Warning);
    });
}

void CMainDialog::PlaySound(int soundId)
{
    sounds_.Play(soundId);
}

void CMainDialog::VideoRecorded(const QString& path)
{
    list_->AddRecordedVideo(path);
}

QString CMainDialog::MagnificationText() const
{
    return magnificationBox_->text();
}

void CMainDialog::CaptureSizeChanged()
{
    client_->update(kResolutionReadout.adjusted(0, 0, 1, 1));
}

void CMainDialog::RunDialog(CModalDialog& dialog)
{
    if (dialogRunner) dialogRunner(dialog);
    else dialog.DoModal();
}

CMainDialog::~CMainDialog()
{
    recording_->EndRecording();
    presence_->Stop();
    engine_->SaveDeviceSettings();
    engine_->SetDeviceMemory(nullptr); // the engine, a child widget, outlives the memory
    instance_.Detach();
}

// ---- layout ------------------------------------------------------------------------------

void CMainDialog::BuildLayout()
{
    // The window's client area is exactly the skin's size; the menu bar takes its height
    // from it.
    KeepNormalSize();
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    // The bar keeps the skin's light grey under any desktop theme, so its text is set with it
    // (a dark theme's light text would vanish on it).
    menuBar_->setStyleSheet(QStringLiteral("QMenuBar { background: #F8F8F8; color: #1E1E1E; }"
                                           "QMenuBar::item:selected { background: #DCE6F2; color: #101010; }"
                                           "QMenuBar::item:disabled { color: #8A8A8A; }"));
    client_ = new SkinPanel(*this, this);

    skin_ = resources::LoadBitmapImage(IDB_SKIN).convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&skin_);
        painter.drawImage(7, 51, resources::LoadBitmapImage(IDB_TAB_PICTURES));
        DrawTabLabels(painter, true);
        DrawPanelTitleAndHint(painter);
    }
    scaleLabel_ = resources::LoadBitmapImage(IDB_SCALE_LABEL);
    resolutionReadout_ = resources::LoadBitmapImage(IDB_RESOLUTION_READOUT);
    // Centred on the screen where the program places its windows (under Wayland the
    // compositor does).
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && ProgramPlacesWindows()) {
        const QRect available = screen->availableGeometry();
        move(available.left() + (available.width() - kClientSize.width()) / 2,
             available.top() + (available.height() - kClientSize.height()) / 2);
    }

    engine_ = new CCaptureGraph(backend_, CaptureConfigPath(programDirectory_), client_);
    engine_->SetDeviceMemory(deviceMemory_.get());
    engine_->setGeometry(kPreviewRect);
    engine_->SetOverlayFont(largeFont_);
    engine_->installEventFilter(this);

    list_ = new CThumbnailList(folders_.picture, folders_.video, client_);
    // A still saved as another format takes the scale of its magnification's calibration.
    list_->setGeometry(kListRect);
    list_->UpdateScrollBar();
    list_->installEventFilter(this);
    connect(list_, &CThumbnailList::openRequested, this, [this] { OnCommand(ID_FILE_OPEN); });
    connect(list_, &CThumbnailList::deleteRequested, this, [this] { OnCommand(ID_FILE_DELETE); });
    connect(list_, &CThumbnailList::listRequested, this, [this](bool pictures) {
        ShowPictureList(pictures);
        list_->UpdateScrollBar();
    });
    list_->setAccessibleName(LangText("TabPictures", 30, "Pictures"));
    // The tabs are painted on the skin; a screen reader finds them as page tabs.
    for (const bool pictures : {true, false}) {
        auto* tab = new PageTabArea(
            pictures ? LangText("TabPictures", 30, "Pictures") : LangText("TabVideos", 30, "Videos"),
            [this, pictures] { return list_->ShowingPictures() == pictures; },
            [this, pictures] {
                ShowPictureList(pictures);
                list_->UpdateScrollBar();
            },
            client_);
        tab->setGeometry(pictures ? kPicturesTab : kVideosTab);
    }
    client_->installEventFilter(this);

    BuildButtons();

    magnificationBox_ = new QLineEdit(client_);
    // The skin draws its label ("Scale:"); a screen reader gets it from here.
    magnificationBox_->setAccessibleName(LangText("Magnification", 30, "Magnification"));
    // The keys start in the magnification box, as they always have; Tab goes on through the
    // buttons left to right and the list.
    magnificationBox_->setFocus();
    QWidget* previous = magnificationBox_;
    for (const int id : {IDC_CAMERA, IDC_AVI, IDC_CLOCK, IDC_EMAIL, IDC_SAVE}) {
        QWidget::setTabOrder(previous, Button(id));
        previous = Button(id);
    }
    QWidget::setTabOrder(previous, list_);
    magnificationBox_->setGeometry(DialogUnitsToPixels(QRect(542, 5, 27, 12), kTemplateBaseUnits));
    magnificationBox_->setMaxLength(3);
    magnificationBox_->setValidator(new QIntValidator(-99, 999, magnificationBox_));
    magnificationBox_->setAlignment(Qt::AlignRight);
    connect(magnificationBox_, &QLineEdit::textChanged, this, [this] { overlayCommands_.OnMagnificationEdited(); });
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
        CBitmapButton* button = CreateArtworkButton(client_, place.bitmap, place.at, place.latch);
        const int id = place.id;
        connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
        // Preview and Setting exist for their commands but are never shown.
        button->setVisible(id != IDC_PREVIEW && id != IDC_SETTING);
        tools_[i] = {button, id, LangText(place.key, 64, place.tip)};
        button->setAccessibleName(tools_[i].tooltip); // kept when full screen hides the tooltip
    }
    previewButton_ = static_cast<CLatchButton*>(tools_[0].button);
    aviButton_ = static_cast<CLatchButton*>(tools_[2].button);
    aviButton_->Unlatch();
}

void CMainDialog::PlaceMenuBar()
{
    const int menuHeight = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, kClientSize.width(), menuHeight);
    client_->setGeometry(0, menuHeight, kClientSize.width(), kClientSize.height() - menuHeight);
}

void CMainDialog::PlaceFocusBar()
{
    if (!focusDisplay_) return;
    // Under the picture in the window; over the full-screen picture, in its bottom-left corner.
    constexpr int kMargin = 8;
    focusDisplay_->setGeometry(
        IsFullScreen() ? QRect(QPoint(kMargin, client_->height() - kFocusBar.height() - kMargin), kFocusBar.size())
                       : kFocusBar);
}

QWidget* CMainDialog::Button(int controlId) const
{
    for (const auto& tool : tools_)
        if (tool.controlId == controlId) return tool.button;
    return nullptr;
}

void CMainDialog::PaintClient(QPainter& painter, const QRect& dirty)
{
    painter.drawImage(QRectF(dirty), skin_, resources::PixelsOf(dirty, skin_));
    // Scale label and resolution read-out: text on their small bitmaps.
    QImage label = scaleLabel_.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&label);
        const QString rate = LangText("Rate", 15, "Scale:");
        p.setFont(smallFont_);
        p.setPen(kReadoutColour);
        DrawFittedText(p, QPoint(4, 6 + QFontMetrics(smallFont_).ascent()), magnificationBox_->x() - 762 - 5, rate);
    }
    painter.drawImage(762, 6, label);
    QImage readout = resolutionReadout_.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&readout);
        p.setFont(smallFont_);
        p.setPen(kReadoutColour);
        p.drawText(0, QFontMetrics(smallFont_).ascent(),
                   QString::asprintf("%d%s%d", engine_->CaptureSize().width(), "*", engine_->CaptureSize().height()));
    }
    painter.drawImage(kResolutionReadout.topLeft(), readout);
    if (recordCounter_ >= 0) {
        QImage counter = resources::LoadBitmapImage(IDB_RECORD_COUNTER).convertToFormat(QImage::Format_RGB32);
        QPainter p(&counter);
        p.setFont(largeFont_);
        p.setPen(QColor(0, 255, 0));
        // Whole in every language: the counter's artwork has a fixed size.
        DrawTextFittedInto(p, counter.rect().adjusted(1, 1, -1, -1),
                           QString::asprintf("%2d ", recordCounter_) + LangText("Second", 10, "Seconds"));
        p.end();
        painter.drawImage(737, 516, counter);
        if (recordDropped_ > 0) {
            // Frames the file lacks: a recording that drops frames should not pass unnoticed.
            painter.setFont(smallFont_);
            painter.setPen(QColor(255, 96, 64));
            painter.drawText(kDroppedReadout, Qt::AlignRight | Qt::AlignVCenter,
                             LangText("FramesDropped", 40, "%1 frames dropped").arg(recordDropped_));
        }
    }
}

// ---- the microscope's presence -----------------------------------------------------------

void CMainDialog::OnPresenceChanged(DevicePresence::State state)
{
    // A camera that went away ends its recording; the file keeps every frame it sent.
    if (state != DevicePresence::State::Streaming && recording_->IsRecording()) recording_->OnStreamLost();
    connected_ = state == DevicePresence::State::Streaming;
    for (const auto& tool : tools_) tool.button->setEnabled(connected_);
    switch (state) {
    case DevicePresence::State::Streaming:
        previewButton_->Latch();
        engine_->SetConnectMessage(QString());
        break;
    case DevicePresence::State::NoMicroscope:
        engine_->SetConnectMessage(LangText("ConnectMsg", 64, "Please connect QRV-DM500 Digital Microscope"));
        break;
    case DevicePresence::State::AccessDenied:
        // The microscope is there, but this user may not open it: say so instead of asking
        // for it to be connected.
        engine_->SetConnectMessage(QStringLiteral("No permission to open %1.\nAdd yourself to the video group:\n"
                                                  "sudo usermod -aG video $USER\nthen log in again.")
                                       .arg(presence_->DeniedNode()));
        break;
    }
}

void CMainDialog::ComeForward()
{
    // Another copy was started: this one comes forward instead. A message box or dialog
    // open over the window stays above it and keeps the focus.
    if (IsFullScreen()) LeaveFullScreen();
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
    qCDebug(lcWindow) << "another copy was started: the window came forward";
}

bool CMainDialog::IsPreviewState() const
{
    return aviButton_->IsLatched() || previewButton_->IsLatched();
}

void CMainDialog::DrawLiveMeasurements(QImage& picture) const
{
    QPainter painter(&picture);
    liveMeasure_.Measurement().Draw(painter, picture.rect(), liveMeasure_.Scale());
}

void CMainDialog::OnCommand(int command)
{
    commandTable_->Run(command);
}

void CMainDialog::ReturnToPreview()
{
    if (previewButton_->IsLatched()) {
        previewButton_->Unlatch();
        engine_->StopPreview();
    } else {
        // A recording ends here without stopping the stream.
        if (recording_->IsRecording()) {
            recording_->EndRecording();
            aviButton_->Unlatch();
        }
        previewButton_->Latch();
        engine_->StartPreview();
    }
    RefreshTooltips();
}

void CMainDialog::SetRecordingLatches(bool recording)
{
    if (recording) {
        aviButton_->Latch();
        previewButton_->Unlatch();
    } else {
        aviButton_->Unlatch();
        previewButton_->Latch();
    }
    RefreshTooltips();
}

void CMainDialog::ShowRecordCounter(int seconds, std::int64_t framesDropped)
{
    recordCounter_ = seconds;
    recordDropped_ = framesDropped;
    client_->update(QRect(737, 516, 120, 21));
    client_->update(kDroppedReadout);
}

bool CMainDialog::FramesAreCorrected() const
{
    return flatField_ && flatField_->IsOn();
}

void CMainDialog::HideRecordCounter()
{
    recordCounter_ = -1;
    recordDropped_ = 0;
    client_->update();
}

void CMainDialog::RefreshTooltips()
{
    for (const auto& tool : tools_) tool.button->setToolTip(IsFullScreen() ? QString() : tool.tooltip);
}

bool CMainDialog::event(QEvent* event)
{
    if (event->type() == OpenSelectedEvent::Type()) {
        listCommands_.OnOpenSelected(*static_cast<OpenSelectedEvent*>(event));
        return true;
    }
    return CModalDialog::event(event);
}

// ---- lists, full screen, input -----------------------------------------------------------

void CMainDialog::ShowPictureList(bool pictures)
{
    if (list_->ShowingPictures() == pictures) return;
    list_->SetShowingPictures(pictures);
    list_->setAccessibleName(pictures ? LangText("TabPictures", 30, "Pictures") : LangText("TabVideos", 30, "Videos"));
    QPainter painter(&skin_);
    const QImage tab = resources::LoadBitmapImage(pictures ? IDB_TAB_PICTURES : IDB_TAB_VIDEOS);
    painter.drawImage(7, 51, tab);
    DrawTabLabels(painter, pictures);
    painter.end();
    client_->update(QRect(QPoint(6, 50), QPoint(tab.width() + 8, tab.height() + 54)));
    list_->RedrawThumbnails();
    RefreshTooltips();
}

bool CMainDialog::IsFullScreen() const
{
    return fullScreen_ && fullScreen_->IsActive();
}

void CMainDialog::EnterFullScreen()
{
    fullScreen_->Enter();
    RefreshTooltips();
}

void CMainDialog::LeaveFullScreen()
{
    fullScreen_->Leave();
    RefreshTooltips();
}

void CMainDialog::ShowControls(bool show)
{
    if (show) {
        menuBar_->show();
        PlaceMenuBar();
        for (const auto& tool : tools_)
            tool.button->setVisible(tool.controlId != IDC_PREVIEW && tool.controlId != IDC_SETTING);
        list_->show();
        magnificationBox_->show();
        list_->UpdateScrollBar();
        return;
    }
    for (const auto& tool : tools_) tool.button->hide();
    list_->hide();
    magnificationBox_->hide();
    menuBar_->hide();
}

void CMainDialog::keyPressEvent(QKeyEvent* event)
{
    // Keys the focused control does not take come here.
    // The commands' keys act before this (the window's key actions); one that comes here all
    // the same (the window not made active yet) is still its command.
    if (commandTable_->RunKey(QKeySequence(event->keyCombination()))) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_F10:
        // The menu bar from the keyboard, as on other desktops (its titles also take Alt+letter).
        if (menuBar_->isVisible() && !menuBar_->actions().isEmpty())
            menuBar_->setActiveAction(menuBar_->actions().first());
        event->accept();
        return;
    default: CModalDialog::keyPressEvent(event); // Enter never closes the window
    }
}

bool CMainDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Installed on the preview, the thumbnail list and the skin panel only.
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
        // A measuring tool takes clicks on the picture.
        if (watched == engine_ && liveMeasure_.ClickOnPreview(mouse->position().toPoint())) {
            engine_->update();
            return true;
        }
        if (watched == list_) list_->SelectAt(global, mouse->modifiers());
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
        if (watched == engine_ && !liveMeasure_.ToolIs(LiveMeasurement::Tool::None)) {
            liveMeasure_.ClickOnPreview(mouse->position().toPoint()); // a quick second click: a point too
            return true;
        }
        if (watched == engine_) {
            QMetaObject::invokeMethod(
                this, [this] { IsFullScreen() ? LeaveFullScreen() : EnterFullScreen(); }, Qt::QueuedConnection);
            return true;
        }
        if (watched == list_ && list_->SelectAt(global)) OnCommand(ID_FILE_OPEN);
        return watched == list_;
    }
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
        // A click on a selected picture keeps the selection (several may be combined).
        if (watched == list_ && (list_->IsSelectedAt(global) || list_->SelectAt(global))) {
            QMenu menu(this);
            const bool several = list_->ShowingPictures() && list_->SelectedPaths().size() >= 2;
            commandTable_->BuildPopUp(menu, kListPopUp | (several ? kListPopUpSeveral : 0u));
            menu.exec(global);
            return true;
        }
        if (watched == engine_) {
            CMenuXP menu(this);
            commandTable_->BuildPopUp(menu, kPicturePopUp);
            menu.exec(global);
            return true;
        }
    }
    return false;
}

void CMainDialog::KeepNormalSize()
{
    // A window whose largest size equals its smallest loses its maximise button under most
    // window managers; the skin's size is kept by putting it back after any other resize.
    setMinimumSize(kClientSize);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(kClientSize);
}

void CMainDialog::moveEvent(QMoveEvent* event)
{
    CModalDialog::moveEvent(event);
    if (fullScreen_) fullScreen_->OnWindowPlaced();
}

void CMainDialog::resizeEvent(QResizeEvent* event)
{
    CModalDialog::resizeEvent(event);
    if (fullScreen_) fullScreen_->OnWindowPlaced();
    if (IsFullScreen() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) || size() == kClientSize)
        return;
    QTimer::singleShot(0, this, [this] {
        if (IsFullScreen() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) return;
        qCDebug(lcWindow) << "resized to" << size() << "from outside: the skin's size is put back";
        resize(kClientSize);
    });
}

void CMainDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange && !IsFullScreen()) {
        // Each answered after the window system has settled (queued), if still so then.
        const Qt::WindowStates state = windowState();
        if (state & Qt::WindowMaximized) {
            // The title bar's maximise button asks for the full-screen preview.
            QMetaObject::invokeMethod(
                this, [this] { EnterFullScreen(); }, Qt::QueuedConnection);
        } else if (state & Qt::WindowFullScreen) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if ((windowState() & Qt::WindowFullScreen) && !IsFullScreen())
                        fullScreen_->OnWindowFullScreenWithoutMode();
                },
                Qt::QueuedConnection);
        } else if (!(state & Qt::WindowMinimized) && size() != kClientSize) {
            // Back to normal: on Wayland the compositor says so only after the window has
            // left full screen (and leaves its size to it), so the skin's size is put back.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!IsFullScreen() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
                        resize(kClientSize);
                },
                Qt::QueuedConnection);
        }
    }
    CModalDialog::changeEvent(event);
}

void CMainDialog::closeEvent(QCloseEvent* event)
{
    // A recording still running is finished before the engine goes, so its file is whole.
    recording_->EndRecording();
    presence_->Stop();
    CModalDialog::closeEvent(event);
}
