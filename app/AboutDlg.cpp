#include "app/AboutDlg.h"

#include "framework/DialogUnits.h"
#include "framework/LangText.h"
#include "resources/Resources.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

CAboutDlg::CAboutDlg(QWidget* parent) : CModalDialog(parent)
{
    const DialogTemplate layout(*this, 224, 124);
    const QFont& font = layout.Font();
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("AboutViewZentrix1", 70, "About QRV-DM500"));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setGeometry(at(5, 5, 214, 94));
    auto* picture = new QLabel(this);
    picture->setPixmap(resources::LoadBitmap(IDB_ABOUT));
    picture->setGeometry(QRect(at(10, 12, 0, 0).topLeft(), QSize(100, 70)));
    const int textLeft = at(10, 0, 0, 0).x() + 100 + at(6, 0, 0, 0).x();
    const int textWidth = at(0, 0, 214, 0).width() - textLeft;
    auto line = [&](const QString& text, int y, int height) {
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        label->setGeometry(textLeft, at(0, y, 0, 0).y(), textWidth, at(0, 0, 0, height).height());
        return label;
    };
    title_ = line(LangText("AboutViewZentrix2", 70, "QRV-DM500"), 12, 10);
    QFont bold = font;
    bold.setBold(true);
    title_->setFont(bold);
    description_ = line(LangText("AboutDescription", 70, "Dedicated for QRV-DM500"), 26, 10);
    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setGeometry(textLeft, at(0, 41, 0, 0).y(), textWidth - 8, 2);
    version_ = line(LangText("AboutVersion", 70, "Version 1.30.0001.01"), 47, 10);
    copyright_ = line(LangText("AboutCopyright", 70, "Copyright (C) 2026 QRV Optics"), 61, 20);
    auto* ok = new QPushButton(LangText("Ok", 70, "OK"), this);
    ok->setGeometry(at(167, 104, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { EndDialog(Answer::Ok); });
}

void OpenManual()
{
    // The result is not examined: without a handler the desktop says what it says.
    QDesktopServices::openUrl(QUrl::fromLocalFile(HelpFilePath()));
}
