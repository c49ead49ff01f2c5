#include "app/settings/FlatFieldDlg.h"

#include "app/settings/FlatFieldControl.h"
#include "framework/DialogUnits.h"
#include "framework/LangText.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

CFlatFieldDlg::CFlatFieldDlg(FlatFieldControl& control, QWidget* parent) : CModalDialog(parent), control_(control)
{
    const DialogTemplate layout(*this, 250, 118);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("FlatField", 40, "Flat field"));

    auto* help =
        new QLabel(LangText("FlatFieldHelp", 260,
                            "Move to an empty area of the slide and take the reference: from then on the light "
                            "is even across the picture. For a dark frame, switch the lamp off or cap the lens."),
                   this);
    help->setWordWrap(true);
    help->setGeometry(at(7, 7, 236, 36));
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setGeometry(at(7, 46, 236, 20));

    takeReference_ = new QPushButton(LangText("TakeReference", 40, "Take reference"), this);
    takeReference_->setGeometry(at(7, 72, 75, 14));
    takeDark_ = new QPushButton(LangText("TakeDark", 40, "Take dark frame"), this);
    takeDark_->setGeometry(at(87, 72, 75, 14));
    remove_ = new QPushButton(LangText("Remove", 30, "Remove"), this);
    remove_->setGeometry(at(168, 72, 75, 14));
    on_ = new QCheckBox(LangText("EvenLight", 40, "Even light"), this);
    on_->setGeometry(at(7, 97, 120, 12));
    auto* close = new QPushButton(LangText("Exit", 50, "Exit"), this);
    close->setGeometry(at(168, 96, 75, 14));

    connect(takeReference_, &QPushButton::clicked, this,
            [this] { control_.Take(FlatFieldCorrection::Capture::White); });
    connect(takeDark_, &QPushButton::clicked, this, [this] { control_.Take(FlatFieldCorrection::Capture::Dark); });
    connect(remove_, &QPushButton::clicked, this, [this] { control_.Remove(); });
    connect(on_, &QCheckBox::clicked, this, [this](bool on) { control_.SetOn(on); });
    connect(close, &QPushButton::clicked, this, [this] { EndDialog(Answer::Ok); });
    connect(&control_, &FlatFieldControl::Changed, this, &CFlatFieldDlg::Refresh);
    connect(&control_, &FlatFieldControl::Taken, this, [this](const QString& error) {
        if (!error.isEmpty()) ShowSaveFailure(this, error);
    });
    Refresh();
}

QString CFlatFieldDlg::Status() const
{
    return status_->text();
}

void CFlatFieldDlg::Refresh()
{
    const QSize size = control_.Size();
    QString text;
    if (control_.Taking()) {
        text = LangText("TakingReference", 100, "Taking it: keep the slide still...");
    } else if (control_.HasReference()) {
        text = LangText("ReferenceFor", 100, "Reference for %1 x %2").arg(size.width()).arg(size.height());
        if (control_.HasDark()) text += LangText("WithDark", 40, ", with a dark frame");
    } else {
        text = LangText("NoReference", 100, "No reference for %1 x %2 yet.").arg(size.width()).arg(size.height());
    }
    status_->setText(text);
    const bool idle = !control_.Taking();
    takeReference_->setEnabled(idle);
    takeDark_->setEnabled(idle);
    remove_->setEnabled(idle && control_.HasReference());
    on_->setEnabled(idle && control_.HasReference());
    on_->setChecked(control_.IsOn());
}
