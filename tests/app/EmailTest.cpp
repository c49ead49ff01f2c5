#include "TestSupport.h"
#include "app/mail/EmailDlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

// A stand-in xdg-email first on PATH: it writes its arguments, one a line, and exits with
// the status in a file next to it.
class FakeMailProgram {
public:
    FakeMailProgram()
    {
        WriteFile(dir_.path() + "/xdg-email",
                  "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/arguments\"\n"
                  "exit \"$(cat \"$(dirname \"$0\")/status\")\"\n");
        QFile::setPermissions(dir_.path() + "/xdg-email", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        SetStatus(0);
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", dir_.path().toLocal8Bit() + ":" + oldPath_);
    }
    ~FakeMailProgram() { qputenv("PATH", oldPath_); }
    void SetStatus(int status) { WriteFile(dir_.path() + "/status", QByteArray::number(status)); }
    QStringList Arguments() const
    {
        return QString::fromUtf8(ReadFile(dir_.path() + "/arguments")).split('\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir dir_;
    QByteArray oldPath_;
};

CEmailDlg::Outcome RunMail(CEmailDlg& dialog)
{
    dialog.show();
    WaitUntil([&] { return dialog.Result() != CEmailDlg::Outcome::Pending; }, 5000);
    return dialog.Result();
}

QString WritePicture(const QTemporaryDir& dir, const QString& name)
{
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = dir.path() + "/" + name;
    image.save(path, "BMP");
    return path;
}

} // namespace

TEST(Email, AVideoIsAttachedAsItIsAndTheWindowClosesWithoutClaimingItWasSent)
{
    FakeMailProgram mail;
    MailAttachments attachments;
    QTemporaryDir dir;
    const QString video = dir.path() + "/Video 'one' \"N0001\" é.avi";
    WriteFile(video, "not really a video");
    MessageBoxRecorder boxes;
    CEmailDlg dialog(video, attachments);
    EXPECT_EQ(dialog.StatusLine().text(), "Opening the mail program, please wait...");
    EXPECT_EQ(RunMail(dialog), CEmailDlg::Outcome::HandedOver);
    EXPECT_EQ(mail.Arguments(), (QStringList{"--attach", video})); // intact, no shell in between
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_FALSE(dialog.isVisible());
}

TEST(Email, ABitmapGoesAsAJpegOfTheSameNameInAPrivateFolder)
{
    FakeMailProgram mail;
    MailAttachments attachments;
    QTemporaryDir dir;
    const QString picture = WritePicture(dir, "Still_2026-01-02_030405_N0001.bmp");
    CEmailDlg dialog(picture, attachments);
    ASSERT_EQ(RunMail(dialog), CEmailDlg::Outcome::HandedOver);
    const QString attachment = dialog.Attachment();
    EXPECT_EQ(QFileInfo(attachment).fileName(), "Still_2026-01-02_030405_N0001.jpg");
    EXPECT_EQ(mail.Arguments(), (QStringList{"--attach", attachment}));
    EXPECT_EQ(QImage(attachment, "JPEG").size(), QSize(32, 24)); // still there for the mail program
    const QFileInfo folder(QFileInfo(attachment).path());
    EXPECT_EQ(folder.permissions() & (QFile::ReadOther | QFile::ReadGroup | QFile::WriteOther | QFile::WriteGroup),
              QFileDevice::Permissions());
    // The next e-mail clears it; "BMP" in capitals is attached as it is.
    const QString capitals = WritePicture(dir, "Capitals.BMP");
    CEmailDlg next(capitals, attachments);
    ASSERT_EQ(RunMail(next), CEmailDlg::Outcome::HandedOver);
    EXPECT_EQ(next.Attachment(), capitals);
    EXPECT_FALSE(QFile::exists(attachment));
}

TEST(Email, EveryWayOfFailingHasItsMessage)
{
    FakeMailProgram mail;
    MailAttachments attachments;
    QTemporaryDir dir;
    const QString video = dir.path() + "/Video_N0001.avi";
    WriteFile(video, "x");
    MessageBoxRecorder boxes;
    mail.SetStatus(3);
    CEmailDlg noProgram(video, attachments);
    EXPECT_EQ(RunMail(noProgram), CEmailDlg::Outcome::NoMailProgram);
    // The status window goes with the message; nobody has to press Esc.
    EXPECT_TRUE(WaitUntil([&] { return !noProgram.isVisible(); }, 2000));
    mail.SetStatus(4);
    CEmailDlg notSent(video, attachments);
    EXPECT_EQ(RunMail(notSent), CEmailDlg::Outcome::NotSent);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "No mail program could be found.");
    EXPECT_EQ(boxes.Boxes()[1].text, "The mail could not be sent.");

    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray("/nonexistent"));
    CEmailDlg noSupport(video, attachments);
    qputenv("PATH", path);
    EXPECT_EQ(noSupport.Result(), CEmailDlg::Outcome::NoMailSupport);
    EXPECT_EQ(boxes.Boxes().back().text, "Mail support could not be loaded.");
}
