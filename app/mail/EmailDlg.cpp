#include "app/mail/EmailDlg.h"

#include "framework/LangText.h"
#include "framework/RegularFile.h"
#include "media/PictureFile.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <unistd.h>

namespace {
// xdg-email's exit statuses.
constexpr int kXdgToolMissing = 3; // no mail program to hand over to

// Attachment folders a copy of the program left behind when it did not end properly: ours
// and older than a day (a running copy's folder is never that old).
void RemoveStaleFolders(const QString& base)
{
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo& info :
         QDir(base).entryInfoList({QStringLiteral("qrv-dm500-mail-*")}, QDir::Dirs | QDir::NoSymLinks))
        if (info.ownerId() == ::getuid() && info.lastModified() < dayAgo) QDir(info.filePath()).removeRecursively();
}
} // namespace

QString MailAttachments::Folder()
{
    if (!folder_) {
        // Inside the private runtime folder when there is one; QTemporaryDir makes it 0700.
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString base = !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
        RemoveStaleFolders(base);
        folder_ = std::make_unique<QTemporaryDir>(base + QStringLiteral("/qrv-dm500-mail-XXXXXX"));
        if (!folder_->isValid()) {
            folder_.reset();
            return {};
        }
    }
    return folder_->path();
}

void MailAttachments::Clear()
{
    if (!folder_) return;
    QDir dir(folder_->path());
    for (const QString& name : dir.entryList({QStringLiteral("*.jpg")}, QDir::Files | QDir::Hidden)) dir.remove(name);
}

QString CEmailDlg::MailProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
}

CEmailDlg::CEmailDlg(QString path, MailAttachments& attachments, QWidget* parent)
    : CModalDialog(parent), path_(std::move(path)), attachments_(attachments)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    resize(280, 40);
    startTimer_.setSingleShot(true);
    connect(&startTimer_, &QTimer::timeout, this, &CEmailDlg::Send);
    connect(&mail_, &QProcess::finished, this, &CEmailDlg::OnFinished);
    connect(&mail_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Fail(Outcome::NoMailSupport, LangText("MailNotLoaded", 100, "Mail support could not be loaded."));
    });

    if (MailProgram().isEmpty()) {
        Fail(Outcome::NoMailSupport, LangText("MailNotLoaded", 100, "Mail support could not be loaded."));
        return;
    }
    status_->setText(LangText("StartOutlook", 100, "Opening the mail program, please wait..."));
    startTimer_.start(50);
}

void CEmailDlg::Fail(Outcome outcome, const QString& message)
{
    outcome_ = outcome;
    ShowMessageBox(this, message, QStringLiteral("QRV-DM500"), MessageButtons::Ok, MessageIcon::Warning);
    // The status window has nothing more to show: it closes with the message.
    QTimer::singleShot(0, this, [this] { EndDialog(Answer::Cancel); });
}

void CEmailDlg::Send()
{
    attachments_.Clear();
    const QString name = path_.mid(path_.lastIndexOf(QLatin1Char('/')) + 1);
    attachment_ = path_;
    // Only a name ending exactly in "bmp" is converted; anything else goes as it is.
    if (path_.mid(path_.lastIndexOf(QLatin1Char('.')) + 1) == QLatin1String("bmp")) {
        const QString folder = attachments_.Folder();
        if (folder.isEmpty()) {
            Fail(Outcome::AttachmentFailed,
                 LangText("MailFolderFail", 100, "The folder for the attachment could not be made."));
            return;
        }
        const QImage picture = ReadPictureFile(path_, nullptr);
        if (picture.isNull()) {
            Fail(Outcome::AttachmentFailed,
                 LangText("MailPictureFail", 100, "The picture could not be read for the e-mail."));
            return;
        }
        attachment_ =
            folder + QLatin1Char('/') + name.left(std::max<qsizetype>(0, name.size() - 4)) + QStringLiteral(".jpg");
        QByteArray jpeg;
        QBuffer encoded(&jpeg);
        encoded.open(QIODevice::WriteOnly);
        if (!picture.save(&encoded, "JPEG") || !WriteFileWhole(attachment_, jpeg, nullptr)) {
            Fail(Outcome::AttachmentFailed,
                 LangText("MailConvertFail", 100, "The picture could not be converted for the e-mail."));
            return;
        }
    }
    // An argument list, never a shell: names with blanks, quotes or any letters pass intact.
    mail_.start(MailProgram(), {QStringLiteral("--attach"), attachment_});
}

void CEmailDlg::OnFinished(int exitCode, QProcess::ExitStatus status)
{
    if (status == QProcess::NormalExit && exitCode == 0) {
        // Handed over: whether the message is sent is the mail program's business, so no
        // "Send Completed" is claimed. The attachment stays for the mail program to read.
        outcome_ = Outcome::HandedOver;
        EndDialog(Answer::Ok);
        return;
    }
    if (status == QProcess::NormalExit && exitCode == kXdgToolMissing)
        Fail(Outcome::NoMailProgram, LangText("MailInvalid", 100, "No mail program could be found."));
    else Fail(Outcome::NotSent, LangText("MailNotSent", 100, "The mail could not be sent."));
}
