#pragma once
// The recorder settings: the frame rate the camera is asked for, an optional time limit, and
// the compressor (Compress). A new dialog for every use, so it starts at the defaults.

#include "framework/FieldExchange.h"
#include "framework/ModalDialog.h"

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CRecorderSettingsDlg : public CModalDialog {
    Q_OBJECT
public:
    // `chooseCompressor` runs the Compress button's choice; `useDefaultCompressor` is OK's
    // fallback when Compress was not pressed since the last OK.
    CRecorderSettingsDlg(bool& compressorChosen, std::function<void()> chooseCompressor,
                         std::function<void()> useDefaultCompressor, QWidget* parent = nullptr);

    int frameRate = 15; // 1 to 30
    bool timeLimitOn = true;
    int timeLimitSeconds = 10; // 1 to 99999

    // Tells the user the rate the file is written at, which may differ from the camera's.
    void SetFileRate(int framesPerSecond);
    void SetFileRateText(const QString& text);
    QString FileRateNote() const;

    QLineEdit& FrameRateBox() const { return *frameRateBox_; }
    QLineEdit& SecondsBox() const { return *secondsBox_; }
    QCheckBox& LimitBox() const { return *limitBox_; }
    QPushButton& CompressButton() const { return *compress_; }
    QPushButton& OkButton() const { return *ok_; }

private:
    void Accept();

    bool& compressorChosen_;
    std::function<void()> chooseCompressor_;
    std::function<void()> useDefaultCompressor_;
    FieldExchange exchange_;
    QLineEdit* frameRateBox_ = nullptr;
    QLineEdit* secondsBox_ = nullptr;
    QCheckBox* limitBox_ = nullptr;
    QPushButton* compress_ = nullptr;
    QPushButton* ok_ = nullptr;
    QLabel* fileRateNote_ = nullptr;
};
