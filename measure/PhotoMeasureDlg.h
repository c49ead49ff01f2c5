#pragma once
// The Photo Measure window: the measuring canvas with a tool bar (open, save, the draw and
// measure menus, pen and text settings, undo, redo), the magnification box and the name of
// the tool in use.

#include "framework/ModalDialog.h"

#include <QImage>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "measure/StageCalibration.h"

class CBitmapButton;
class CCalibrateDlg;
class CLatchButton;
class CMeasureCanvas;
class QFrame;
class QLabel;
class QLineEdit;

class CPhotoMeasureDlg : public CModalDialog {
    Q_OBJECT
public:
    static constexpr QSize kClientSize{646, 512};
    enum Control {
        IDC_OPEN = 1160,
        IDC_SAVE = 1113,
        IDC_DRAW = 1138,
        IDC_MEASURE = 1139,
        IDC_PEN = 1140,
        IDC_TEXT = 1142,
        IDC_UNDO = 1127,
        IDC_REDO = 1161,
    };

    // Menu commands beyond the tools.
    static constexpr int kCalibrateCommand = 32826;
    static constexpr int kExportCommand = 32827;
    // The scale bar's corner in the saved picture: top left, top right, bottom left, bottom right.
    static constexpr int kScaleBarCommand = 32828;
    // The caliper (edges found to a fraction of a pixel) and the count of marks.
    static constexpr int kCaliperCommand = 32832;
    static constexpr int kCountCommand = 32833;

    // `calibrationPath`: the file of stage calibrations (empty: the user's own).
    explicit CPhotoMeasureDlg(const QString& picturePath, QWidget* parent = nullptr,
                              const QString& calibrationPath = QString());
    ~CPhotoMeasureDlg() override;

    // The tool-bar actions.
    void OpenToolMenu(bool measureMenu);
    void OnMenuCommand(int command);
    bool CheckRate();
    void OnPenSetting();
    void OnTextSetting();
    void OnUndo();
    void OnRedo();
    void OnSave();
    void OnOpen();
    // Calibrates the typed magnification on the last measured line; exports the measurements.
    void OnCalibrate();
    void OnExportMeasurements();
    // Looks up the calibration of the typed magnification and shows which scale is in force.
    void UpdateScaleSource();

    CalibrationStore& Calibrations() const { return *calibrations_; }
    QLabel& ScaleSource() const { return *scaleSource_; }
    CMeasureCanvas* Canvas() const { return canvas_.get(); }
    // False when the picture it was opened on could not be loaded: the window is not shown then.
    bool HasPicture() const;
    QLineEdit& RateBox() const { return *rateBox_; }
    QString ToolReadout() const;
    CBitmapButton* Button(int controlId) const;
    bool IsLatched(int controlId) const;

    // Tests stand in for the pop-up menu: the next menu returns this command (0: dismissed).
    void SetMenuAnswer(std::optional<int> command) { menuAnswer_ = command; }
    // Tests stand in for the settings dialogs: run before OK / Cancel is pressed.
    std::function<Answer(QDialog&)> runSettingsDialog;
    // Tests answer the calibration question instead of a person.
    std::function<Answer(CCalibrateDlg&)> runCalibrateDialog;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {} // Esc never closes this window

private:
    // False when the picture could not be loaded (the reason was shown).
    bool CreateCanvas(const QString& path, bool fromOpenButton);
    // Asks where and saves the picture with its shapes; false when cancelled or failed.
    bool SaveAnnotatedPicture();
    void ReleaseToggles();
    Answer RunSettings(QDialog& dialog);
    int TypedMagnification() const;

    QString picturePath_;
    std::unique_ptr<CMeasureCanvas> canvas_;
    QImage background_;
    QImage rateLabel_;
    QFrame* frame_ = nullptr;
    QLineEdit* rateBox_ = nullptr;
    QLabel* readout_ = nullptr;
    QLabel* scaleSource_ = nullptr;
    std::unique_ptr<CalibrationStore> calibrations_;
    std::array<CBitmapButton*, 8> buttons_{};
    CLatchButton* drawButton_ = nullptr;
    CLatchButton* measureButton_ = nullptr;
    std::optional<int> menuAnswer_;
    bool closing_ = false;
};
