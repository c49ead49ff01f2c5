#include "app/sharing/ShareDlg.h"

#include "app/sharing/QrCode.h"
#include "app/sharing/ShareControl.h"
#include "framework/LangText.h"
#include "framework/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

CShareDlg::CShareDlg(ShareControl& sharing, QWidget* parent) : QDialog(parent), sharing_(sharing)
{
    setWindowTitle(LangText("ShareMenu", 40, "Share live picture...").remove(QStringLiteral("...")));
    auto* layout = new QVBoxLayout(this);
    hint_ = new QLabel(this);
    hint_->setWordWrap(true);
    address_ = new QLabel(this);
    address_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = address_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    address_->setFont(big);
    qr_ = new QLabel(this);
    qr_->setAlignment(Qt::AlignCenter);
    code_ = new QLabel(this);
    QFont huge = big;
    huge.setPointSizeF(big.pointSizeF() * 1.6);
    code_->setFont(huge);
    code_->setAlignment(Qt::AlignCenter);
    code_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    viewers_ = new QLabel(this);
    startStop_ = new QPushButton(this);
    for (QWidget* widget : std::initializer_list<QWidget*>{hint_, address_, qr_, code_, viewers_, startStop_})
        layout->addWidget(widget);
    connect(startStop_, &QPushButton::clicked, this, &CShareDlg::OnStartStop);
    connect(&sharing_, &ShareControl::Changed, this, &CShareDlg::Refresh);
    Refresh();
}

void CShareDlg::OnStartStop()
{
    if (sharing_.IsSharing()) {
        sharing_.Stop();
        return;
    }
    QString error;
    if (!sharing_.Start(ShareControl::kDefaultPort, &error))
        ShowMessageBox(this, LangText("ShareFailed", 64, "Sharing could not start:") + QLatin1Char('\n') + error,
                       QApplication::applicationName());
}

void CShareDlg::Refresh()
{
    const bool on = sharing_.IsSharing();
    hint_->setText(on ? LangText("ShareHint", 100, "Students open this address and type the code:")
                      : LangText("ShareOff", 100, "The live picture is not shared."));
    address_->setText(sharing_.Address());
    qrImage_ = on ? QrCodeImage(sharing_.AddressWithCode(), 5) : QImage();
    qr_->setPixmap(qrImage_.isNull() ? QPixmap() : QPixmap::fromImage(qrImage_));
    code_->setText(on ? sharing_.Code() : QString());
    viewers_->setText(on ? QStringLiteral("%1 ").arg(sharing_.Viewers()) + LangText("ShareWatching", 30, "watching")
                         : QString());
    for (QWidget* widget : std::initializer_list<QWidget*>{address_, qr_, code_, viewers_}) widget->setVisible(on);
    startStop_->setText(on ? LangText("ShareStop", 30, "Stop sharing") : LangText("ShareStart", 30, "Start sharing"));
    adjustSize();
}

QString CShareDlg::AddressText() const
{
    return address_->text();
}

QString CShareDlg::CodeText() const
{
    return code_->text();
}

QString CShareDlg::ViewersText() const
{
    return viewers_->text();
}

const QImage* CShareDlg::QrImage() const
{
    return qrImage_.isNull() ? nullptr : &qrImage_;
}
