#include "app/settings/VideoSettingDlg.h"

#include "capture/CaptureGraph.h"
#include "framework/DialogUnits.h"
#include "framework/LangText.h"
#include "widgets/SpinArrows.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

using namespace backend;

namespace {

constexpr int kTextSize = 50;
// The resolution list, in its order; anything past 1 means 1280 x 1024.
const char* const kResolutions[] = {"320x240", "640*480", "1280*1024"};
// Top of each visible property row in dialog units; hue shares gamma's place.
constexpr int kRowTop[] = {106, 131, 156, 181, 206, 206, 231};

QString Number3(int value)
{
    return QString::asprintf("%3d", value);
}

} // namespace

VideoPropertyRows MakeVideoPropertyRows()
{
    return {{
        {1055, 1062, 1063, 1086, "Brightness", VideoProcAmp_Brightness},
        {1064, 1065, 1066, 1087, "Contrast", VideoProcAmp_Contrast},
        {1067, 1068, 1069, 1088, "Saturation", VideoProcAmp_Saturation},
        {1070, 1071, 1072, 1089, "Sharpness", VideoProcAmp_Sharpness},
        {1073, 1074, 1075, 1090, "Gamma", VideoProcAmp_Gamma},
        {1076, 1077, 1078, 1091, "Hue", VideoProcAmp_Hue},
        {1079, 1080, 1081, 1092, "Focus", CameraControl_Focus},
    }};
}

CVideoSettingDlg::CVideoSettingDlg(CCaptureGraph& engine, VideoPropertyRows& rows,
                                   std::function<void(int, int)> setResolution, QWidget* parent)
    : CModalDialog(parent), engine_(engine), rows_(rows), setResolution_(std::move(setResolution))
{
    BuildControls();
    FillVideoSettingDialog();
}

// The dialog's own English texts; the language file's replace them once a camera is there.
void CVideoSettingDlg::BuildControls()
{
    const DialogTemplate layout(*this, 269, 298);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("VideoSettingTitle", 64, "Video Setting"));

    deviceGroup_ = new QGroupBox(QStringLiteral("Video Capture Device"), this);
    deviceGroup_->setGeometry(at(7, 5, 255, 38));
    deviceNameLabel_ = new QLabel(QStringLiteral("Device Name"), this);
    deviceNameLabel_->setGeometry(at(15, 22, 62, 10));
    deviceList_ = new QComboBox(this);
    deviceList_->setGeometry(at(80, 20, 174, 14));

    settingGroup_ = new QGroupBox(QStringLiteral("Device Setting"), this);
    settingGroup_->setGeometry(at(7, 47, 255, 38));
    normLabel_ = new QLabel(QStringLiteral("Video Norm"), this);
    normLabel_->setGeometry(at(15, 64, 62, 10));
    normList_ = new QComboBox(this);
    normList_->setGeometry(at(80, 62, 70, 14));
    normLabel_->hide();
    normList_->hide();
    resolutionLabel_ = new QLabel(QStringLiteral("Video Resolution"), this);
    resolutionLabel_->setGeometry(at(15, 64, 62, 10));
    resolutionList_ = new QComboBox(this);
    resolutionList_->setGeometry(at(80, 62, 80, 14));

    propertiesGroup_ = new QGroupBox(QStringLiteral("Video Properties"), this);
    propertiesGroup_->setGeometry(at(7, 89, 255, 165));
    for (std::size_t row = 0; row < rowWidgets_.size(); ++row) {
        const int top = kRowTop[row];
        RowWidgets& widgets = rowWidgets_[row];
        widgets.label = new QLabel(QString::fromLatin1(rows_[row].key), this);
        widgets.label->setGeometry(at(15, top + 2, 50, 10));
        widgets.trackbar = new QSlider(Qt::Horizontal, this);
        widgets.trackbar->setGeometry(at(66, top, 140, 15));
        // The number can be typed (Enter or leaving the box applies it) and stepped with
        // the arrow keys, like the arrows beside it.
        widgets.number = new QLineEdit(this);
        widgets.number->setAlignment(Qt::AlignRight);
        widgets.number->installEventFilter(this);
        widgets.number->setGeometry(at(210, top + 1, 28, 12));
        widgets.spin = new SpinArrows(this);
        widgets.spin->setGeometry(at(240, top, 10, 14));
        const int r = static_cast<int>(row);
        connect(widgets.trackbar, &QSlider::valueChanged, this, [this, r](int position) {
            if (!filling_) OnTrackbarMoved(r, position);
        });
        connect(widgets.spin, &SpinArrows::Stepped, this, [this, r](int delta) { OnSpin(r, delta); });
        connect(widgets.number, &QLineEdit::editingFinished, this, [this, r] { OnNumberTyped(r); });
    }

    defaultButton_ = new QPushButton(QStringLiteral("Default"), this);
    defaultButton_->setGeometry(at(7, 270, 56, 16));
    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setGeometry(at(142, 270, 56, 16));
    okButton_->setDefault(true);
    exitButton_ = new QPushButton(QStringLiteral("Exit"), this);
    exitButton_->setGeometry(at(206, 270, 56, 16));

    connect(defaultButton_, &QPushButton::clicked, this, &CVideoSettingDlg::OnDefault);
    connect(okButton_, &QPushButton::clicked, this, [this] {
        ApplyResolutionSelection();
        EndDialog(Answer::Ok);
    });
    connect(exitButton_, &QPushButton::clicked, this, [this] { EndDialog(Answer::Cancel); });
    connect(resolutionList_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) ApplyResolutionSelection();
    });
    connect(deviceList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!filling_) OnDeviceChosen(index);
    });
}

void CVideoSettingDlg::FillVideoSettingDialog()
{
    filling_ = true;
    deviceList_->clear();
    normList_->clear();
    resolutionList_->clear();
    amplifier_ = engine_.QueryVideoProcAmp();
    if (amplifier_) {
        FillRows();
        setWindowTitle(LangText("VideoSetting", kTextSize, "Video Setting"));
        deviceNameLabel_->setText(LangText("DeviceName", kTextSize, "Device Name"));
        deviceGroup_->setTitle(LangText("VideoCaptionDevice", kTextSize, "Video Capture Device"));
        settingGroup_->setTitle(LangText("DeviceSetting", kTextSize, "Device Setting"));
        normLabel_->setText(LangText("VideoNorm", kTextSize, "Video Norm"));
        resolutionLabel_->setText(LangText("VideoResolution", kTextSize, "Video Resolution"));
        propertiesGroup_->setTitle(LangText("VideoProperies", kTextSize, "Video Properties"));
        defaultButton_->setText(LangText("Default", 16, "Default"));
        exitButton_->setText(LangText("Exit", kTextSize, "Exit"));
        okButton_->setText(LangText("Ok", kTextSize, "OK"));
        FillDeviceList();
        normList_->addItem(QStringLiteral("N/A"));
        normList_->setCurrentIndex(0);
        normList_->setEnabled(false);
        FillResolutionList();
    }
    // Without a camera nothing here can act on one.
    for (std::size_t row = 0; row < rowWidgets_.size(); ++row) {
        const bool active = amplifier_ && rows_[row].available;
        const RowWidgets& widgets = rowWidgets_[row];
        for (QWidget* widget :
             std::initializer_list<QWidget*>{widgets.label, widgets.trackbar, widgets.number, widgets.spin}) {
            widget->setEnabled(active);
            widget->setVisible(static_cast<int>(row) != kHueRow);
        }
    }
    defaultButton_->setEnabled(amplifier_ != nullptr);
    filling_ = false;
}

void CVideoSettingDlg::FillRows()
{
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        VideoPropertyRow& entry = rows_[row];
        PropertyRange range;
        // A property the camera lacks keeps its last numbers and is shown disabled.
        entry.available = Succeeded(amplifier_->GetRange(entry.property, range));
        if (entry.available) {
            entry.minimum = range.minimum;
            entry.maximum = range.maximum;
            entry.stepping = range.stepping;
            entry.defaultValue = range.defaultValue;
            entry.flags = range.flags;
            int value = 0, ignoredFlags = 0;
            if (Succeeded(amplifier_->Get(entry.property, value, ignoredFlags))) entry.value = value;
        }
        entry.labelText = LangText(entry.key, kTextSize, entry.key);
        RowWidgets& widgets = rowWidgets_[row];
        widgets.trackbar->setRange(entry.minimum, entry.maximum);
        widgets.trackbar->setPageStep(std::max(1, (entry.maximum - entry.minimum) / 10));
        widgets.trackbar->setValue(entry.value);
        widgets.number->setText(Number3(entry.value));
        widgets.label->setText(entry.labelText);
    }
}

void CVideoSettingDlg::FillDeviceList()
{
    const DeviceTable& table = engine_.GetDeviceTable();
    int selectedItem = -1;
    for (int row = 0; row < kDeviceTableRows; ++row) {
        const CaptureDevice& device = table[static_cast<std::size_t>(row)];
        if (device.hardwareIdIndex < 0 || device.friendlyName.empty()) continue;
        deviceList_->addItem(QString::fromStdU16String(device.friendlyName), row);
        if (device.selected == 1) selectedItem = deviceList_->count() - 1;
    }
    if (selectedItem >= 0) deviceList_->setCurrentIndex(selectedItem);
    else deviceList_->setCurrentIndex(-1);
}

void CVideoSettingDlg::FillResolutionList()
{
    for (const char* resolution : kResolutions) resolutionList_->addItem(QString::fromLatin1(resolution));
    const int width = engine_.LastFrameWidth();
    resolutionList_->setCurrentIndex(width > 640 ? 2 : width > 320 ? 1 : 0);
}

void CVideoSettingDlg::ShowRow(int row)
{
    const VideoPropertyRow& entry = rows_[static_cast<std::size_t>(row)];
    RowWidgets& widgets = rowWidgets_[static_cast<std::size_t>(row)];
    const bool wasFilling = std::exchange(filling_, true);
    widgets.trackbar->setValue(entry.value);
    filling_ = wasFilling;
    widgets.number->setText(Number3(entry.value));
}

void CVideoSettingDlg::OnTrackbarMoved(int row, int position)
{
    if (!amplifier_) return;
    VideoPropertyRow& entry = rows_[static_cast<std::size_t>(row)];
    entry.value = position;
    // A value the user moves to is a manual one: the camera's automatic lets go of it.
    entry.flags = kVideoProcAmpFlagsManual;
    engine_.SetVideoProperty(entry.property, entry.value, entry.flags);
    rowWidgets_[static_cast<std::size_t>(row)].number->setText(Number3(entry.value));
}

void CVideoSettingDlg::OnSpin(int row, int delta)
{
    if (!amplifier_) return;
    const QSlider& trackbar = *rowWidgets_[static_cast<std::size_t>(row)].trackbar;
    const int position = trackbar.value();
    const int stepped = std::clamp(position + delta, trackbar.minimum(), trackbar.maximum());
    if (stepped == position) return; // at the end of the range: nothing reaches the camera
    VideoPropertyRow& entry = rows_[static_cast<std::size_t>(row)];
    entry.value = stepped;
    entry.flags = kVideoProcAmpFlagsManual;
    ShowRow(row);
    engine_.SetVideoProperty(entry.property, entry.value, entry.flags);
}

void CVideoSettingDlg::OnNumberTyped(int row)
{
    RowWidgets& widgets = rowWidgets_[static_cast<std::size_t>(row)];
    bool ok = false;
    const int typed = widgets.number->text().trimmed().toInt(&ok);
    const bool inRange = ok && typed >= widgets.trackbar->minimum() && typed <= widgets.trackbar->maximum();
    if (amplifier_ && inRange && typed != widgets.trackbar->value()) {
        widgets.trackbar->setValue(typed); // sets the camera as a slider move does
        return;
    }
    ShowRow(row); // not a number in range: the value in force comes back
}

bool CVideoSettingDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        for (std::size_t row = 0; row < rowWidgets_.size(); ++row) {
            if (watched != rowWidgets_[row].number || (key != Qt::Key_Up && key != Qt::Key_Down)) continue;
            OnSpin(static_cast<int>(row), key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return CModalDialog::eventFilter(watched, event);
}

void CVideoSettingDlg::OnDefault()
{
    if (!amplifier_) return;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        VideoPropertyRow& entry = rows_[row];
        entry.value = entry.defaultValue;
        entry.flags = kVideoProcAmpFlagsAuto;
        ShowRow(static_cast<int>(row));
        if (entry.available) engine_.SetVideoProperty(entry.property, entry.value, entry.flags);
    }
    engine_.UseCameraAutomatics();
    const bool wasFilling = std::exchange(filling_, true);
    resolutionList_->setCurrentIndex(2);
    filling_ = wasFilling;
    ApplyResolutionSelection();
}

void CVideoSettingDlg::ApplyResolutionSelection()
{
    const int item = resolutionList_->currentIndex();
    const QSize size = item == 0 ? QSize(320, 240) : item == 1 ? QSize(640, 480) : QSize(1280, 1024);
    if (setResolution_) setResolution_(size.width(), size.height());
    else engine_.SetResolution(size.width(), size.height());
}

void CVideoSettingDlg::OnDeviceChosen(int index)
{
    if (index < 0) return;
    const int row = deviceList_->itemData(index).toInt();
    if (beforeDeviceChange && engine_.WouldSwitchTo(row)) beforeDeviceChange();
    engine_.SelectDevice(row);
    FillVideoSettingDialog();
}

void CVideoSettingDlg::done(int result)
{
    engine_.SaveDeviceSettings();
    CModalDialog::done(result);
}
