#include "TestSupport.h"
#include "app/AboutDlg.h"
#include "framework/LangText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>

#include <gtest/gtest.h>

TEST(AboutBox, ALanguageFileWithoutTheKeysGivesTheEnglishTexts)
{
    QTemporaryDir dir;
    WriteFile(dir.path() + "/German1252.ini", "[Zentrix]\r\nFile=Datei\r\n");
    SelectLanguageFile(dir.path(), 0x0407);
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About QRV-DM500");
    EXPECT_EQ(about.TitleLine().text(), "QRV-DM500");
    EXPECT_EQ(about.DescriptionLine().text(), "Dedicated for QRV-DM500");
    EXPECT_EQ(about.VersionLine().text(), "Version 1.30.0001.01");
    WriteFile(dir.path() + "/German1252.ini", "[Zentrix]\r\nAboutVersion=Version 9\r\n");
    CAboutDlg again;
    EXPECT_EQ(again.VersionLine().text(), "Version 9");
    SelectLanguageFile(dir.path() + "/none", 0x0409);
}

TEST(Manual, EveryLinkAndPictureOfTheManualResolves)
{
    const QString manual = QString(MANUAL_DIR) + "/QRV-DM500-EN.html";
    const QByteArray html = ReadFile(manual);
    ASSERT_FALSE(html.isEmpty());
    const QString text = QString::fromUtf8(html);
    QStringList anchors;
    static const QRegularExpression ids(QStringLiteral("id=\"([^\"]+)\""));
    for (auto match = ids.globalMatch(text); match.hasNext();) anchors << match.next().captured(1);
    static const QRegularExpression references(QStringLiteral("(?:href|src)=\"([^\"]+)\""));
    int checked = 0;
    for (auto match = references.globalMatch(text); match.hasNext();) {
        const QString target = match.next().captured(1);
        ++checked;
        if (target.startsWith('#')) {
            EXPECT_TRUE(anchors.contains(target.mid(1))) << target.toStdString();
        } else {
            EXPECT_FALSE(target.contains("://")) << "the manual works without a network: " << target.toStdString();
            EXPECT_TRUE(QFileInfo::exists(QFileInfo(manual).dir().filePath(target))) << target.toStdString();
        }
    }
    EXPECT_GT(checked, 15);
    // The sections a person at the microscope looks for.
    for (const char* section : {"starting", "stills", "recording", "timelapse", "measure", "linux", "troubleshooting"})
        EXPECT_TRUE(anchors.contains(section)) << section;
}
