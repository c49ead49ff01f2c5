#include "framework/LangText.h"
#include "TestSupport.h"
#include "framework/QtTranslations.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

namespace {

class LangTextTest : public ::testing::Test {
protected:
    void SetUp() override { SelectLanguageFile(dir_.path(), 0x0409); }
    void WriteEnglish(const QByteArray& bytes) { WriteFile(dir_.path() + "/English1252.ini", bytes); }
    QTemporaryDir dir_;
};

std::string Lookup(const char* key, int size, const char* fallback)
{
    std::vector<char> buffer(static_cast<std::size_t>(size), 'x');
    GetLangText(key, buffer.data(), size, fallback);
    return buffer.data();
}

} // namespace

TEST(LanguageSelection, MapsLocalesToTheirFiles)
{
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("de_DE"))), "German1252.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("de_AT"))), "German1252.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("ja_JP"))), "Japanese932.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("ru_RU"))), "Russian1251.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("en_GB"))), "English1252.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("el_GR"))), "English1252.ini");
}

TEST(LanguageSelection, OnlyMainlandChinaGetsTheChineseFile)
{
    EXPECT_EQ(LanguageIdForLocale(QLocale("zh_CN")), 0x0804);
    EXPECT_EQ(LanguageFileName(0x0804), "Chinese936.ini");
    for (const char* name : {"zh_TW", "zh_HK", "zh_SG", "zh_MO"})
        EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale(name))), "English1252.ini") << name;
}

TEST(LanguageSelection, VariantsShareOneFile)
{
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("pt_BR"))), "Portuguese1252.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("pt_PT"))), "Portuguese1252.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("nb_NO"))), "Norwegian1252.ini");
    EXPECT_EQ(LanguageFileName(LanguageIdForLocale(QLocale("nn_NO"))), "Norwegian1252.ini");
}

TEST_F(LangTextTest, MissingFileGivesTheDefault)
{
    EXPECT_EQ(Lookup("File", 30, "File"), "File");
    EXPECT_EQ(Lookup("Open", 30, "Open..."), "Open...");
}

TEST_F(LangTextTest, TextIsCutToOneByteLessThanTheBufferAndTheBufferZeroed)
{
    WriteEnglish("[Zentrix]\r\nOpen=0123456789012345678901234567890123456789\r\n");
    char buffer[30];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetLangText("Open", buffer, 30, "Open..."), 29);
    EXPECT_EQ(std::string(buffer), std::string("0123456789012345678901234567890123456789").substr(0, 29));
    EXPECT_EQ(Lookup("Open", 20, "Open..."), std::string("0123456789012345678"));
    // The whole buffer is zeroed, not just the byte after the text.
    char small[16];
    std::memset(small, 'x', sizeof small);
    GetLangText("Nothing", small, 16, "ab");
    for (int i = 2; i < 16; ++i) EXPECT_EQ(small[i], '\0');
}

TEST_F(LangTextTest, KeysIgnoreCaseQuotesAreStrippedEmptyTextStaysEmpty)
{
    WriteEnglish("; comment\n[Other]\nFile=wrong\n[zentrix]\n  FILE  =  Datei  \nQuoted=\"  spaced  \"\n"
                 "Single='x'\nEmpty=\nDelete=Remove\n");
    EXPECT_EQ(Lookup("file", 30, "File"), "Datei");
    EXPECT_EQ(Lookup("Quoted", 30, "d"), "  spaced  ");
    EXPECT_EQ(Lookup("Single", 30, "d"), "x");
    EXPECT_EQ(Lookup("Empty", 30, "Default"), "");
    EXPECT_EQ(Lookup("Delete ", 30, "Delete..."), "Remove"); // the blank after a key does not count
    EXPECT_EQ(Lookup("Missing", 30, "Default"), "Default");
}

TEST_F(LangTextTest, FileIsReadAfreshOnEveryLookup)
{
    WriteEnglish("[Zentrix]\nTime=First\n");
    EXPECT_EQ(Lookup("Time", 30, "Time"), "First");
    WriteEnglish("[Zentrix]\nTime=Second\n");
    EXPECT_EQ(Lookup("Time", 30, "Time"), "Second");
    WriteEnglish("[Zentrix]\nTime=Third!\n"); // the same size: seen all the same
    EXPECT_EQ(Lookup("Time", 30, "Time"), "Third!");
}

TEST_F(LangTextTest, AFifoInPlaceOfTheFileGivesTheDefaultsWithoutWaiting)
{
    ASSERT_EQ(mkfifo(QFile::encodeName(dir_.path() + "/English1252.ini").constData(), 0600), 0);
    EXPECT_EQ(Lookup("File", 30, "File"), "File");
}

TEST_F(LangTextTest, BrokenFilesGiveTheDefaults)
{
    QByteArray garbage;
    for (int i = 0; i < 100000; ++i) garbage.append(static_cast<char>((i * 7919) % 256));
    WriteEnglish(garbage);
    EXPECT_EQ(Lookup("File", 30, "File"), "File");

    WriteEnglish("[Zentrix]\n" + QByteArray(10 * 1024 * 1024, 'A') + "\nFile=Tail\n");
    EXPECT_EQ(Lookup("File", 30, "File"), "Tail"); // the huge line is passed over, not fatal

    WriteEnglish("File=NoSection\nOpen=Nope\n");
    EXPECT_EQ(Lookup("File", 30, "File"), "File");
}

TEST_F(LangTextTest, TextsAreConvertedFromTheFilesCodePage)
{
    SelectLanguageFile(dir_.path(), 0x0407);
    WriteFile(dir_.path() + "/German1252.ini", "[Zentrix]\nOpen=\xD6"
                                               "ffnen\n");
    EXPECT_EQ(LangText("Open", 30, "Open..."), QString::fromUtf8("Öffnen"));

    SelectLanguageFile(dir_.path(), 0x0804);
    // "打开" in code page 936, and a cut that leaves half a character at the end.
    WriteFile(dir_.path() + "/Chinese936.ini", "[Zentrix]\nOpen=\xB4\xF2\xBF\xAA\n");
    EXPECT_EQ(LangText("Open", 30, "Open..."), QString::fromUtf8("打开"));
    EXPECT_EQ(LangText("Open", 4, "Open..."), QString::fromUtf8("打"));
    // The cut falls between characters, never inside one: the buffer holds whole ones only.
    char buffer[4];
    EXPECT_EQ(GetLangText("Open", buffer, 4, "Open..."), 2);

    // The same in Japanese (932, whose lead bytes are in two ranges) and Korean (949), after
    // a one-byte character that shifts every boundary by one.
    SelectLanguageFile(dir_.path(), 0x0411);
    WriteFile(dir_.path() + "/Japanese932.ini", "[Zentrix]\nOpen=A\x8A\x4A\x82\xAD\xE3\x41\n"); // "A開く" then 0xE341
    for (int size = 2; size <= 8; ++size) {
        const QString text = LangText("Open", size, "Open...");
        EXPECT_FALSE(text.contains(QChar(0xFFFD))) << size;
        EXPECT_EQ(GetLangText("Open", buffer, std::min(size, 4), "Open...") % 2, 1) << size; // "A" and whole pairs
    }
    EXPECT_EQ(LangText("Open", 5, "Open..."), QString::fromUtf8("A開"));
    SelectLanguageFile(dir_.path(), 0x0412);
    WriteFile(dir_.path() + "/Korean949.ini", "[Zentrix]\nOpen=1\xBF\xAD\xB1\xE2\n"); // "1열기"
    for (int size = 2; size <= 6; ++size)
        EXPECT_FALSE(LangText("Open", size, "Open...").contains(QChar(0xFFFD))) << size;
    EXPECT_EQ(LangText("Open", 5, "Open..."), QString::fromUtf8("1열"));
}

TEST(ShippedLanguageFiles, HoldTheProgramsKeysInTheirCodePages)
{
    // The build places the language files next to the test programs.
    const QString directory = QCoreApplication::applicationDirPath();
    SelectLanguageFile(directory, 0x0407);
    EXPECT_EQ(LangText("Open", 30, "Open..."), QString::fromUtf8("Öffnen..."));
    SelectLanguageFile(directory, 0x0804);
    EXPECT_EQ(LangText("File", 30, "File"), QString::fromUtf8("文件"));
    SelectLanguageFile(directory, 0x0411);
    EXPECT_EQ(LangText("File", 30, "File"), QString::fromUtf8("ファイル"));
    SelectLanguageFile(directory, 0x0419);
    EXPECT_EQ(LangText("File", 30, "File"), QString::fromUtf8("Файл"));
    SelectLanguageFile(directory, 0x040D);
    EXPECT_EQ(LangText("File", 30, "File"), QString::fromUtf8("קובץ"));
    // Vietnamese letters with two marks are stored as a letter and a combining tone mark.
    SelectLanguageFile(directory, 0x042A);
    EXPECT_EQ(LangText("File", 30, "File").normalized(QString::NormalizationForm_C), QString::fromUtf8("Tệp"));
    SelectLanguageFile(directory, 0x0409);
    EXPECT_EQ(LangText("ConnectMsg", 64, "x"), "Please connect QRV-DM500 Digital Microscope");
    EXPECT_EQ(LangText("MeasureFourPointCircle", 64, "x"), "Four Point Angle");
}

TEST(QtTranslations, QtsOwnButtonsSpeakTheSystemsLanguage)
{
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::German, QLocale::Germany)));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    EXPECT_FALSE(InstallQtTranslations(QLocale(QLocale::Zulu)));
}
