#include "measure/CalibrateDlg.h"

#include "framework/DialogUnits.h"
#include "framework/LangText.h"

#include <QComboBox>
#include <QDoubleValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

CCalibrateDlg::CCalibrateDlg(LengthUnit unit, QWidget* parent) : CModalDialog(parent), unit_(unit)
{
    const DialogTemplate layout(*this, 186, 62);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    QString title = LangText("Calibrate", 30, "Calibrate...");
    while (title.endsWith(QLatin1Char('.')) || title.endsWith(QChar(0x2026))) title.chop(1); // the menu's dots
    setWindowTitle(title);

    auto* prompt = new QLabel(LangText("KnownLength", 64, "Known length of the line:"), this);
    prompt->setGeometry(at(7, 9, 172, 10));
    lengthBox_ = new QLineEdit(this);
    lengthBox_->setGeometry(at(7, 22, 80, 12));
    auto* validator = new QDoubleValidator(0.0, 1e6, 4, lengthBox_);
    validator->setLocale(QLocale::c()); // a decimal point, whatever the desktop's language
    validator->setNotation(QDoubleValidator::StandardNotation);
    lengthBox_->setValidator(validator);
    unitList_ = new QComboBox(this);
    unitList_->setGeometry(at(92, 21, 40, 14));
    unitList_->addItem(QStringLiteral("mm"));
    unitList_->addItem(QStringLiteral("\u00B5m"));
    unitList_->setCurrentIndex(unit == LengthUnit::Micrometre ? 1 : 0);

    ok_ = new QPushButton(LangText("OK", 64, "OK"), this);
    ok_->setGeometry(at(70, 42, 50, 14));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(LangText("Cancel", 64, "Cancel"), this);
    cancel->setGeometry(at(129, 42, 50, 14));
    connect(ok_, &QPushButton::clicked, this, &CCalibrateDlg::Accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CCalibrateDlg::Accept()
{
    bool ok = false;
    const double typed =
        QLocale::c().toDouble(lengthBox_->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    if (!ok || !(typed > 0)) {
        lengthBox_->setFocus();
        lengthBox_->selectAll();
        return;
    }
    unit_ = unitList_->currentIndex() == 1 ? LengthUnit::Micrometre : LengthUnit::Millimetre;
    lengthMillimetres_ = unit_ == LengthUnit::Micrometre ? typed / 1000 : typed;
    EndDialog(Answer::Ok);
}
