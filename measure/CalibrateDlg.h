#pragma once
// Asks for the real length of the line just measured along a stage micrometer (or any
// object of known length), in millimetres or micrometres.

#include "framework/ModalDialog.h"
#include "measure/StageCalibration.h"

class QComboBox;
class QLineEdit;
class QPushButton;

class CCalibrateDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CCalibrateDlg(LengthUnit unit, QWidget* parent = nullptr);

    // The length typed, in millimetres (after OK).
    double LengthMillimetres() const { return lengthMillimetres_; }
    LengthUnit Unit() const { return unit_; }

    QLineEdit& LengthBox() const { return *lengthBox_; }
    QComboBox& UnitList() const { return *unitList_; }
    QPushButton& OkButton() const { return *ok_; }

private:
    void Accept();

    QLineEdit* lengthBox_ = nullptr;
    QComboBox* unitList_ = nullptr;
    QPushButton* ok_ = nullptr;
    double lengthMillimetres_ = 0;
    LengthUnit unit_;
};
