// Every one of the twenty language files, read back through the program's own reader: every
// key there, every text intact in its file's code page and whole in the smallest buffer the
// program reads it into.
#include "framework/LangText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// One language identifier of each file the program chooses among.
constexpr std::uint16_t kLanguages[] = {0x01, 0x0804, 0x06, 0x07, 0x0A, 0x0B, 0x0C, 0x0D, 0x10, 0x11,
                                        0x12, 0x13,   0x14, 0x15, 0x16, 0x19, 0x1D, 0x1F, 0x2A, 0x09};

QString LanguageDir()
{
    return QStringLiteral(SOURCE_DIR "/resources/lang");
}

// The keys of the English file, which holds every key the program uses.
std::vector<QByteArray> ReferenceKeys()
{
    QFile file(LanguageDir() + "/English1252.ini");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<QByteArray> keys;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && !line.startsWith(';')) keys.push_back(line.left(equals).trimmed());
    }
    return keys;
}

// The smallest buffer each key is read into, from the program's call sites. Table-driven
// call sites (menus, tooltips, the video properties) pass their size apart from the key.
std::map<QByteArray, int> BufferSizes()
{
    std::map<QByteArray, int> sizes = {{"Open", 20},      {"Save", 20},       {"Delete", 20},   {"DeleteAll", 20},
                                       {"EMail", 20},     {"Brightness", 50}, {"Contrast", 50}, {"Saturation", 50},
                                       {"Sharpness", 50}, {"Gamma", 50},      {"Hue", 50}};
    const QRegularExpression call(QStringLiteral(R"re(LangText\(\s*"([^"]+)"\s*,\s*(?:\w+\s*,\s*)?(\w+)\s*,)re"));
    // A command's text in the command table: {"Key", "English", size}.
    const QRegularExpression commandText(QStringLiteral(R"re(\{\s*"([^"]+)"\s*,\s*"[^"]*"\s*,\s*(\w+)\s*\})re"));
    const QRegularExpression constant(QStringLiteral(R"re(constexpr int (k\w+) = (\d+);)re"));
    for (const char* folder :
         {"app", "browser", "capture", "framework", "heights", "measure", "media", "player", "processing", "widgets"}) {
        QDirIterator it(QStringLiteral(SOURCE_DIR "/") + folder, {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly)) continue;
            const QString text = QString::fromUtf8(file.readAll());
            std::map<QString, int> constants;
            for (const auto& m : constant.globalMatch(text)) constants[m.captured(1)] = m.captured(2).toInt();
            QList<QRegularExpressionMatch> sites;
            for (const auto& m : call.globalMatch(text)) sites << m;
            for (const auto& m : commandText.globalMatch(text)) sites << m;
            for (const auto& m : sites) {
                bool isNumber = false;
                int size = m.captured(2).toInt(&isNumber);
                if (!isNumber) size = constants.count(m.captured(2)) ? constants[m.captured(2)] : 0;
                if (size <= 0) continue;
                const QByteArray key = m.captured(1).toLatin1().trimmed();
                auto [entry, added] = sizes.emplace(key, size);
                if (!added) entry->second = std::min(entry->second, size);
            }
        }
    }
    return sizes;
}

bool IsTooltipKey(const QByteArray& key)
{
    return key.startsWith("Tip");
}

} // namespace

TEST(LanguageFiles, TheEnglishFileHoldsEveryKeyTheProgramReads)
{
    const auto keys = ReferenceKeys();
    std::set<QByteArray> known; // keys are case-insensitive, as in every INI file
    for (const QByteArray& key : keys) known.insert(key.toLower());
    for (const auto& [key, size] : BufferSizes()) EXPECT_TRUE(known.count(key.toLower())) << key.constData();
}

TEST(LanguageFiles, EveryFileHasEveryKeyIntactAndWhole)
{
    const auto keys = ReferenceKeys();
    auto sizes = BufferSizes();
    std::set<QString> files;
    for (const std::uint16_t language : kLanguages) {
        SelectLanguageFile(LanguageDir(), language);
        const QString name = LanguageFileName(language);
        files.insert(name);
        ASSERT_TRUE(QFile::exists(LanguageFilePath())) << name.toStdString();
        const int codePage = CodePageOfLanguageFile(name);
        const bool singleByte = codePage != 932 && codePage != 936 && codePage != 949;
        for (const QByteArray& key : keys) {
            const std::string where = name.toStdString() + " " + key.constData();
            char whole[4096];
            GetLangText(key.constData(), whole, sizeof whole, "\x01");
            const QByteArray bytes(whole);
            ASSERT_NE(bytes, QByteArray("\x01")) << "missing: " << where;
            const QString text = DecodeCodePage(bytes, codePage);
            EXPECT_FALSE(text.contains(QChar::ReplacementCharacter))
                << "not in code page " << codePage << ": " << where;
            // UTF-8 put into a one-byte code page reads as valid UTF-8 with bytes over 127.
            if (singleByte && bytes.contains('\xC3')) {
                QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                const QString asUtf8 = utf8.decode(bytes);
                EXPECT_TRUE(utf8.hasError()) << "UTF-8, not code page " << codePage << ": " << where;
                (void)asUtf8;
            }
            // A character the conversion could not carry became '?'.
            EXPECT_FALSE(bytes.contains('?') && name != "English1252.ini" && !key.startsWith("Sure"))
                << "a character was lost: " << where;
            int size = 0;
            for (const auto& [site, siteSize] : sizes)
                if (site.toLower() == key.toLower()) size = size ? std::min(size, siteSize) : siteSize;
            if (!size) size = IsTooltipKey(key) ? 64 : 30;
            EXPECT_LE(bytes.size(), size - 1)
                << "cut to " << size - 1 << " bytes: " << where << " = " << text.toStdString();
        }
    }
    EXPECT_EQ(files.size(), 20u);
    SelectLanguageFile(LanguageDir() + "/none", 0x09);
}
