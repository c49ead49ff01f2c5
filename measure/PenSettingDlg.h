#pragma once
// The pen of the next shapes (style, width, colour) and the font and colour of measurement
// labels, with a live preview line.

#include "framework/FieldExchange.h"
#include "framework/ModalDialog.h"
#include "measure/MeasureShape.h"

#include <QFont>

class QGroupBox;
class QLineEdit;
class QRadioButton;

class CPenSettingDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CPenSettingDlg(QWidget* parent = nullptr);

    // Filled from the canvas before the dialog runs, read back after OK.
    int style = PenSolid;
    int width = 1;
    ColorRef penColor = 255;
    QFont labelFont;
    ColorRef labelColor = 255;

    QLineEdit& WidthBox() const { return *widthBox_; }
    QRadioButton& StyleButton(int style) const { return *styleButtons_[style]; }
    // The preview line's end points in the dialog's client coordinates.
    QLine PreviewLine() const;
    void ChooseColour();
    void ChooseLabelFont();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Accept();
    void StepWidth(int delta);

    int widthExchange_ = 1; // what the width box shows at opening; checked to 1..3 on OK
    FieldExchange exchange_;
    QLineEdit* widthBox_ = nullptr;
    QRadioButton* styleButtons_[5] = {};
    QGroupBox* preview_ = nullptr;
};
