#pragma once
// The Video Setting dialog: which microscope to use, its capture size, and its picture
// properties (brightness, contrast, saturation, sharpness, gamma; hue is kept but hidden).
// Every change reaches the camera at once; OK applies the size once more, Exit just closes.

#include "framework/ModalDialog.h"

#include <QString>

#include <array>
#include <functional>

class CCaptureGraph;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class SpinArrows;
namespace backend {
class CaptureSource;
}

// One picture property of the dialog. The table outlives the dialog, so the last numbers
// read stay between openings and across devices.
struct VideoPropertyRow {
    int trackbarId;
    int labelId;
    int numberId;
    int spinId;
    const char* key; // language key, also the English label
    int property;    // the amplifier's property number
    QString labelText;
    int minimum = 0, maximum = 0, stepping = 0, defaultValue = 0, flags = 0, value = 0;
    bool available = false; // the current camera has this property
};
using VideoPropertyRows = std::array<VideoPropertyRow, 7>;
constexpr int kHueRow = 5;
constexpr int kFocusRow = 6;

// The rows in the dialog's order: brightness, contrast, saturation, sharpness, gamma, hue
// (hidden), and the lens's focus.
VideoPropertyRows MakeVideoPropertyRows();

class CVideoSettingDlg : public CModalDialog {
    Q_OBJECT
public:
    // `setResolution` changes the capture size the way the main window does (engine and
    // read-out).
    CVideoSettingDlg(CCaptureGraph& engine, VideoPropertyRows& rows, std::function<void(int, int)> setResolution,
                     QWidget* parent = nullptr);

    // Runs before another device is chosen (the main window finishes a recording there).
    std::function<void()> beforeDeviceChange;

    // Reads everything again from the engine and the camera (on opening, after a device
    // change, and when the main window says the devices changed).
    void FillVideoSettingDialog();

    QComboBox& DeviceList() const { return *deviceList_; }
    QComboBox& NormList() const { return *normList_; }
    QComboBox& ResolutionList() const { return *resolutionList_; }
    QSlider& Trackbar(int row) const { return *rowWidgets_[static_cast<std::size_t>(row)].trackbar; }
    QLineEdit& Number(int row) const { return *rowWidgets_[static_cast<std::size_t>(row)].number; }
    QLabel& Label(int row) const { return *rowWidgets_[static_cast<std::size_t>(row)].label; }
    SpinArrows& Spin(int row) const { return *rowWidgets_[static_cast<std::size_t>(row)].spin; }
    QPushButton& DefaultButton() const { return *defaultButton_; }
    QPushButton& OkButton() const { return *okButton_; }
    QPushButton& ExitButton() const { return *exitButton_; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override; // arrow keys in the number boxes

private:
    void OnNumberTyped(int row);
    struct RowWidgets {
        QLabel* label = nullptr;
        QSlider* trackbar = nullptr;
        QLineEdit* number = nullptr;
        SpinArrows* spin = nullptr;
    };

    void BuildControls();
    void FillRows();
    void FillDeviceList();
    void FillResolutionList();
    void ShowRow(int row);
    void OnTrackbarMoved(int row, int position);
    void OnSpin(int row, int delta);
    void OnDefault();
    void OnDeviceChosen(int index);
    void ApplyResolutionSelection();

    CCaptureGraph& engine_;
    VideoPropertyRows& rows_;
    std::function<void(int, int)> setResolution_;
    backend::CaptureSource* amplifier_ = nullptr;
    bool filling_ = false;

    QGroupBox* deviceGroup_ = nullptr;
    QGroupBox* settingGroup_ = nullptr;
    QGroupBox* propertiesGroup_ = nullptr;
    QLabel* deviceNameLabel_ = nullptr;
    QLabel* normLabel_ = nullptr;
    QLabel* resolutionLabel_ = nullptr;
    QComboBox* deviceList_ = nullptr;
    QComboBox* normList_ = nullptr;
    QComboBox* resolutionList_ = nullptr;
    std::array<RowWidgets, 7> rowWidgets_;
    QPushButton* defaultButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
};
