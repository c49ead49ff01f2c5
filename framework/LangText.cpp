#include "framework/LangText.h"

#include "framework/RegularFile.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

namespace {

struct LanguageSelection {
    QString languageFile;
    QString helpFile;
};

LanguageSelection& Selection()
{
    static LanguageSelection selection;
    return selection;
}

constexpr std::uint16_t MakeLangId(std::uint16_t primary, std::uint16_t sub)
{
    return static_cast<std::uint16_t>((sub << 10) | primary);
}

struct LanguageFileEntry {
    std::uint16_t primary;
    const char* fileName;
};

// Primary language -> file. Chinese is handled apart: only the People's Republic gets its file.
constexpr LanguageFileEntry kLanguageFiles[] = {
    {0x01, "Arabic1256.ini"},  {0x06, "Danish1252.ini"},     {0x07, "German1252.ini"},  {0x0A, "Spanish1252.ini"},
    {0x0B, "Finnish1252.ini"}, {0x0C, "French1252.ini"},     {0x0D, "Hebrew1255.ini"},  {0x10, "Italian1252.ini"},
    {0x11, "Japanese932.ini"}, {0x12, "Korean949.ini"},      {0x13, "Dutch1252.ini"},   {0x14, "Norwegian1252.ini"},
    {0x15, "Polish1250.ini"},  {0x16, "Portuguese1252.ini"}, {0x19, "Russian1251.ini"}, {0x1D, "Swedish1252.ini"},
    {0x1F, "Turkish1254.ini"}, {0x2A, "Vietnamese1258.ini"},
};

QByteArray Trimmed(const QByteArray& text)
{
    // INI texts and keys lose blanks and tabs on both sides.
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

QByteArray StripQuotes(const QByteArray& text)
{
    if (text.size() >= 2) {
        const char first = text.front();
        if ((first == '"' || first == '\'') && text.back() == first) return text.mid(1, text.size() - 2);
    }
    return text;
}

// Every key of section "Zentrix" with its text (keys in lower case; the first of a repeated
// key counts), as the INI rules read them.
using IniTexts = std::unordered_map<std::string, QByteArray>;

IniTexts ParseIniTexts(const QByteArray& content)
{
    IniTexts texts;
    bool inSection = false;
    // A line longer than this keeps only its start, so a huge garbage line costs no more
    // than its bytes.
    constexpr qsizetype kMaxLine = 64 * 1024;
    qsizetype at = 0;
    while (at < content.size()) {
        qsizetype end = content.indexOf('\n', at);
        if (end < 0) end = content.size();
        QByteArray line = content.mid(at, std::min(end - at, kMaxLine));
        at = end + 1;
        while (!line.isEmpty() && line.back() == '\r') line.chop(1);
        const QByteArray trimmed = Trimmed(line);
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            const QByteArray section = close > 0 ? Trimmed(trimmed.mid(1, close - 1)) : QByteArray();
            inSection = section.toLower() == "zentrix";
            continue;
        }
        if (!inSection || trimmed.startsWith(';')) continue;
        const qsizetype equals = trimmed.indexOf('=');
        if (equals < 0) continue;
        const std::string key = Trimmed(trimmed.left(equals)).toLower().toStdString();
        if (texts.count(key)) continue;
        QByteArray text = StripQuotes(Trimmed(trimmed.mid(equals + 1)));
        // A NUL inside the text ends it, as it would in a C string.
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0) text.truncate(nul);
        texts.emplace(key, std::move(text));
    }
    return texts;
}

// The language file, parsed once and parsed again whenever it changes on disk, so an edited
// file is seen at the next lookup as if it were read afresh each time.
class LanguageFileCache {
public:
    std::optional<QByteArray> Lookup(const QString& path, const char* key)
    {
        std::lock_guard lock(mutex_);
        struct stat info {};
        if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
        const Stamp stamp{path, info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
        if (!(stamp == stamp_)) {
            constexpr qint64 kMaxFile = 16 * 1024 * 1024; // no language file is this large
            const std::optional<QByteArray> content = ReadRegularFile(path, kMaxFile);
            if (!content) return std::nullopt; // not cached: the next lookup tries again
            texts_ = ParseIniTexts(*content);
            stamp_ = stamp;
        }
        const auto found = texts_.find(Trimmed(QByteArray(key)).toLower().toStdString());
        if (found == texts_.end()) return std::nullopt;
        return found->second;
    }

private:
    struct Stamp {
        QString path;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        time_t seconds = 0;
        long nanoseconds = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::mutex mutex_; // guards stamp_ and texts_
    Stamp stamp_;
    IniTexts texts_;
};

std::optional<QByteArray> ReadIniText(const QString& path, const char* key)
{
    static LanguageFileCache cache;
    return cache.Lookup(path, key);
}

// Whether a byte starts a two-byte character in a double-byte code page (Japanese 932,
// Chinese 936 and 950, Korean 949); never in the single-byte ones.
bool IsLeadByte(unsigned char byte, int codePage)
{
    switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
    }
}

// Copies at most size - 1 bytes and the terminator, never cutting a two-byte character in two.
int CopyCut(char* buffer, int size, const char* text, std::size_t length, int codePage)
{
    const std::size_t room = static_cast<std::size_t>(size - 1);
    std::size_t count = std::min(length, room);
    if (count < length) {
        std::size_t whole = 0;
        for (std::size_t at = 0; at < count;) {
            const std::size_t next = at + (IsLeadByte(static_cast<unsigned char>(text[at]), codePage) ? 2 : 1);
            if (next > count) break;
            whole = at = next;
        }
        count = whole;
    }
    std::memcpy(buffer, text, count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}

} // namespace

std::uint16_t LanguageIdForLocale(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Arabic: return MakeLangId(0x01, 1);
    case QLocale::Chinese:
        switch (locale.territory()) {
        case QLocale::China: return 0x0804;
        case QLocale::HongKong: return 0x0C04;
        case QLocale::Singapore: return 0x1004;
        case QLocale::Macau: return 0x1404;
        default: return 0x0404; // Taiwan and every other Chinese territory
        }
    case QLocale::Danish: return MakeLangId(0x06, 1);
    case QLocale::German: return MakeLangId(0x07, 1);
    case QLocale::Spanish: return MakeLangId(0x0A, 1);
    case QLocale::Finnish: return MakeLangId(0x0B, 1);
    case QLocale::French: return MakeLangId(0x0C, 1);
    case QLocale::Hebrew: return MakeLangId(0x0D, 1);
    case QLocale::Italian: return MakeLangId(0x10, 1);
    case QLocale::Japanese: return MakeLangId(0x11, 1);
    case QLocale::Korean: return MakeLangId(0x12, 1);
    case QLocale::Dutch: return MakeLangId(0x13, 1);
    case QLocale::NorwegianBokmal: return 0x0414;
    case QLocale::NorwegianNynorsk: return 0x0814;
    case QLocale::Polish: return MakeLangId(0x15, 1);
    case QLocale::Portuguese: return locale.territory() == QLocale::Brazil ? 0x0416 : 0x0816;
    case QLocale::Russian: return MakeLangId(0x19, 1);
    case QLocale::Swedish: return MakeLangId(0x1D, 1);
    case QLocale::Turkish: return MakeLangId(0x1F, 1);
    case QLocale::Vietnamese: return MakeLangId(0x2A, 1);
    case QLocale::Greek: return MakeLangId(0x08, 1);
    case QLocale::Czech: return MakeLangId(0x05, 1);
    case QLocale::Hungarian: return MakeLangId(0x0E, 1);
    default: return 0x0409; // English (United States)
    }
}

std::uint16_t SystemLanguageId()
{
    return LanguageIdForLocale(QLocale::system());
}

QString LanguageFileName(std::uint16_t languageId)
{
    const std::uint16_t primary = languageId & 0x3FF;
    const std::uint16_t sub = languageId >> 10;
    if (primary == 0x04) return sub == 2 ? QStringLiteral("Chinese936.ini") : QStringLiteral("English1252.ini");
    for (const auto& entry : kLanguageFiles)
        if (entry.primary == primary) return QString::fromLatin1(entry.fileName);
    return QStringLiteral("English1252.ini");
}

int CodePageOfLanguageFile(const QString& fileName)
{
    static const QRegularExpression digits(QStringLiteral("(\\d+)\\.ini$"), QRegularExpression::CaseInsensitiveOption);
    const auto match = digits.match(fileName);
    return match.hasMatch() ? match.captured(1).toInt() : 1252;
}

void SelectLanguageFile(const QString& programDirectory, std::uint16_t languageId)
{
    Selection().languageFile = programDirectory + QLatin1Char('/') + LanguageFileName(languageId);
    Selection().helpFile = programDirectory + QStringLiteral("/QRV-DM500-EN.html");
}

QString LanguageFilePath()
{
    return Selection().languageFile;
}
QString HelpFilePath()
{
    return Selection().helpFile;
}

int GetLangText(const char* key, char* buffer, int size, const char* defaultText)
{
    if (buffer == nullptr || size <= 0) return 0;
    std::memset(buffer, 0, static_cast<std::size_t>(size));
    const std::optional<QByteArray> text = key ? ReadIniText(Selection().languageFile, key) : std::nullopt;
    if (text)
        return CopyCut(buffer, size, text->constData(), static_cast<std::size_t>(text->size()),
                       CodePageOfLanguageFile(Selection().languageFile));
    const char* fallback = defaultText ? defaultText : "";
    return CopyCut(buffer, size, fallback, std::strlen(fallback), 1252);
}

QString DecodeCodePage(const QByteArray& bytes, int codePage)
{
    if (bytes.isEmpty()) return {};
    const QByteArray encoding = "CP" + QByteArray::number(codePage);
    iconv_t converter = iconv_open("UTF-8", encoding.constData());
    if (converter == reinterpret_cast<iconv_t>(-1)) return QString::fromLatin1(bytes);
    QByteArray out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.constData());
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    char* outPtr = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) break;
        // A multibyte character cut at the end (a translation cut to its buffer) is dropped;
        // an invalid byte becomes U+FFFD.
        if (errno != EILSEQ || outLeft < 3) break;
        std::memcpy(outPtr, "\xEF\xBF\xBD", 3);
        outPtr += 3;
        outLeft -= 3;
        ++in;
        --inLeft;
    }
    // Code pages that compose a letter with a following combining mark (1255, 1258) hold the
    // last letter back until told that no mark follows.
    iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(converter);
    out.truncate(outPtr - out.data());
    return QString::fromUtf8(out);
}

QString LangText(const char* key, int size, const char* defaultText)
{
    QByteArray buffer(size > 0 ? size : 1, '\0');
    GetLangText(key, buffer.data(), size, defaultText);
    buffer.truncate(static_cast<qsizetype>(std::strlen(buffer.constData())));
    return DecodeCodePage(buffer, CodePageOfLanguageFile(LanguageFilePath()));
}
