#include "app/recording/RecorderSettingsDlg.h"

#include "framework/DialogUnits.h"
#include "framework/LangText.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CRecorderSettingsDlg::CRecorderSettingsDlg(bool& compressorChosen, std::function<void()> chooseCompressor,
                                           std::function<void()> useDefaultCompressor, QWidget* parent)
    : CModalDialog(parent), compressorChosen_(compressorChosen), chooseCompressor_(std::move(chooseCompressor)),
      useDefaultCompressor_(std::move(useDefaultCompressor))
{
    const DialogTemplate layout(*this, 186, 82);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("RecorderSetting", 64, "Recorder Setting"));

    auto* rateLabel = new QLabel(LangText("FrameRate", 64, "Frame rate"), this);
    rateLabel->setGeometry(at(7, 9, 50, 10));
    frameRateBox_ = new QLineEdit(this);
    frameRateBox_->setGeometry(at(60, 7, 34, 12));
    auto* rateHint = new QLabel(QStringLiteral("(1--30)"), this);
    rateHint->setGeometry(at(98, 9, 40, 10));

    limitBox_ = new QCheckBox(LangText("TimerLimit", 64, "Time limit"), this);
    limitBox_->setGeometry(at(7, 27, 52, 10));
    secondsBox_ = new QLineEdit(this);
    secondsBox_->setGeometry(at(60, 25, 34, 12));
    auto* seconds = new QLabel(LangText("Second", 64, "Seconds"), this);
    seconds->setGeometry(at(98, 27, 34, 10));
    auto* secondsHint = new QLabel(QStringLiteral("(1--99999)"), this);
    secondsHint->setGeometry(at(134, 27, 48, 10));

    // The camera is asked for the rate above; the file plays at its own rate, which the
    // capture size decides.
    fileRateNote_ = new QLabel(this);
    fileRateNote_->setGeometry(at(7, 42, 175, 10));
    fileRateNote_->setWordWrap(false);

    compress_ = new QPushButton(LangText("Compress", 64, "Compress"), this);
    compress_->setGeometry(at(7, 58, 50, 14));
    ok_ = new QPushButton(LangText("OK", 64, "OK"), this);
    ok_->setGeometry(at(70, 58, 50, 14));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(LangText("Cancel", 64, "Cancel"), this);
    cancel->setGeometry(at(129, 58, 50, 14));

    exchange_.AddInt(frameRateBox_, &frameRate, 1, 30);
    exchange_.AddInt(secondsBox_, &timeLimitSeconds, 1, 99999);
    exchange_.Load();
    limitBox_->setChecked(timeLimitOn);
    secondsBox_->setEnabled(timeLimitOn);

    connect(limitBox_, &QCheckBox::toggled, this, [this](bool on) {
        timeLimitOn = on;
        secondsBox_->setEnabled(on);
    });
    connect(compress_, &QPushButton::clicked, this, [this] {
        compressorChosen_ = true;
        if (chooseCompressor_) chooseCompressor_();
    });
    connect(ok_, &QPushButton::clicked, this, &CRecorderSettingsDlg::Accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CRecorderSettingsDlg::Accept()
{
    // A disabled seconds box is not checked: the limit is off.
    FieldExchange fields;
    int rate = frameRate, limit = timeLimitSeconds;
    fields.AddInt(frameRateBox_, &rate, 1, 30);
    if (timeLimitOn) fields.AddInt(secondsBox_, &limit, 1, 99999);
    // A value out of range keeps the dialog open, and with it the compressor chosen.
    if (!fields.Save(this)) return;
    // A choice made with Compress holds for this OK only; otherwise the basic compressor.
    if (compressorChosen_) compressorChosen_ = false;
    else if (useDefaultCompressor_) useDefaultCompressor_();
    frameRate = rate;
    timeLimitSeconds = limit;
    EndDialog(Answer::Ok);
}

void CRecorderSettingsDlg::SetFileRate(int framesPerSecond)
{
    fileRateNote_->setText(
        LangText("RecordFileRate", 100, "The file plays at %1 frames a second at this size.").arg(framesPerSecond));
}

void CRecorderSettingsDlg::SetFileRateText(const QString& text)
{
    fileRateNote_->setText(text);
}

QString CRecorderSettingsDlg::FileRateNote() const
{
    return fileRateNote_->text();
}
