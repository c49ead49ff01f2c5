#pragma once
// A text to place on the picture, with its font and colour and a live preview. Every
// opening starts from the default font.

#include "framework/ModalDialog.h"
#include "measure/MeasureShape.h"

#include <QFont>

class QGroupBox;
class QPlainTextEdit;

class CTextSettingDlg : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kMaxText = 254;

    explicit CTextSettingDlg(QWidget* parent = nullptr);

    QString text;
    ColorRef textColor = 255;
    QFont textFont;

    QPlainTextEdit& TextBox() const { return *textBox_; }
    void ChooseTextFont();
    void ChooseColour();
    // The preview's text, one line, and where its top-left lands.
    QString PreviewText() const;

private:
    QPlainTextEdit* textBox_ = nullptr;
    QGroupBox* preview_ = nullptr;
};
