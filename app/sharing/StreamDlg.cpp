#include "app/sharing/StreamDlg.h"

#include "app/sharing/StreamControl.h"
#include "framework/LangText.h"
#include "framework/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CStreamDlg::CStreamDlg(StreamControl& stream, QWidget* parent) : QDialog(parent), stream_(stream)
{
    setWindowTitle(LangText("StreamMenu", 40, "Stream to a server...").remove(QStringLiteral("...")));
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(LangText("StreamHint", 100, "The server's address with its key:"), this);
    address_ = new QLineEdit(stream_.Address(), this);
    address_->setPlaceholderText(QStringLiteral("rtmp://server/live/key"));
    address_->setMinimumWidth(380);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    startStop_ = new QPushButton(this);
    for (QWidget* widget : std::initializer_list<QWidget*>{hint, address_, status_, startStop_})
        layout->addWidget(widget);
    connect(startStop_, &QPushButton::clicked, this, &CStreamDlg::OnStartStop);
    connect(&stream_, &StreamControl::Changed, this, &CStreamDlg::Refresh);
    Refresh();
}

void CStreamDlg::OnStartStop()
{
    if (stream_.IsStreaming()) {
        stream_.Stop();
        return;
    }
    QString error;
    if (!stream_.Start(address_->text(), &error)) ShowMessageBox(this, error, QApplication::applicationName());
}

void CStreamDlg::Refresh()
{
    const bool on = stream_.IsStreaming();
    address_->setReadOnly(on);
    status_->setText(stream_.StatusText());
    startStop_->setText(on ? LangText("StreamStop", 30, "Stop streaming")
                           : LangText("StreamStart", 30, "Start streaming"));
}

QString CStreamDlg::StatusText() const
{
    return status_->text();
}
