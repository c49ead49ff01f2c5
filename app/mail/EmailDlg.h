#pragma once
// E-mail: a small status window that hands the selected file to the desktop's mail program
// (xdg-email --attach FILE). A bitmap picture is attached as a JPEG of the same base name,
// made in a folder private to the user; it stays there until the next e-mail or the end of
// the program, because the mail program reads it after xdg-email has returned.

#include "framework/ModalDialog.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class QLabel;

// The private folder for attachments, for the life of the program.
class MailAttachments {
public:
    // Empty when no private folder could be made.
    QString Folder();
    // Removes what an earlier e-mail left.
    void Clear();

private:
    std::unique_ptr<QTemporaryDir> folder_;
};

class CEmailDlg : public CModalDialog {
    Q_OBJECT
public:
    // How the hand-off ended.
    enum class Outcome { Pending, HandedOver, NoMailSupport, NoMailProgram, NotSent, AttachmentFailed };

    CEmailDlg(QString path, MailAttachments& attachments, QWidget* parent = nullptr);

    Outcome Result() const { return outcome_; }
    QString Attachment() const { return attachment_; }
    QLabel& StatusLine() const { return *status_; }
    // The mail program to run; tests point it elsewhere.
    static QString MailProgram();

private:
    void Send();
    void OnFinished(int exitCode, QProcess::ExitStatus status);
    void Fail(Outcome outcome, const QString& message);

    QString path_;
    MailAttachments& attachments_;
    QString attachment_;
    Outcome outcome_ = Outcome::Pending;
    QLabel* status_ = nullptr;
    QTimer startTimer_; // lets the status line show before the mail program takes over
    QProcess mail_;
};
