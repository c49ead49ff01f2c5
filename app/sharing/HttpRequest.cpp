#include "app/sharing/HttpRequest.h"

#include <QList>

namespace {

// Percent-decoding that refuses what could change the path's meaning once decoded: an
// encoded slash or backslash, a NUL, a control character, a malformed escape.
bool DecodePath(const QByteArray& raw, QString& decoded)
{
    QByteArray bytes;
    bytes.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size()) return false;
            bool ok = false;
            const int value = raw.mid(i + 1, 2).toInt(&ok, 16);
            if (!ok) return false;
            c = static_cast<char>(value);
            if (c == '/' || c == '\\') return false;
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\') return false;
        bytes.append(c);
    }
    decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() != bytes) return false; // not UTF-8
    // No step up, and no "." segment either.
    for (const QString& segment : decoded.split(QLatin1Char('/')))
        if (segment == QLatin1String("..") || segment == QLatin1String(".")) return false;
    return decoded.startsWith(QLatin1Char('/'));
}

QByteArray QueryValue(const QByteArray& query, const QByteArray& name)
{
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0 && pair.left(equals) == name) return QByteArray::fromPercentEncoding(pair.mid(equals + 1));
    }
    return {};
}

} // namespace

HeadParse ParseRequestHead(const QByteArray& received, HttpRequest& request)
{
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0) return received.size() > kLargestRequestHead ? HeadParse::TooLarge : HeadParse::Incomplete;
    if (end + 4 > kLargestRequestHead) return HeadParse::TooLarge;
    request = HttpRequest{};
    request.headLength = end + 4;
    const QList<QByteArray> lines = received.left(end).split('\n');
    const QList<QByteArray> first = lines.front().trimmed().split(' ');
    if (first.size() != 3 || !first[2].startsWith("HTTP/1.")) return HeadParse::Bad;
    request.method = first[0];
    QByteArray target = first[1];
    const qsizetype question = target.indexOf('?');
    if (question >= 0) {
        request.queryCode = QueryValue(target.mid(question + 1), "code");
        target.truncate(question);
    }
    if (!DecodePath(target, request.path)) return HeadParse::Bad;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) return HeadParse::Bad;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            bool ok = false;
            request.contentLength = value.toLongLong(&ok);
            if (!ok || request.contentLength < 0) return HeadParse::Bad;
        } else if (name == "cookie") {
            for (const QByteArray& cookie : value.split(';')) {
                const QByteArray trimmed = cookie.trimmed();
                if (trimmed.startsWith("qrv_code=")) request.cookieCode = trimmed.mid(9);
            }
        }
    }
    return HeadParse::Complete;
}

QString SharedPictureName(const QString& path)
{
    static const QString prefix = QStringLiteral("/pictures/");
    if (!path.startsWith(prefix)) return {};
    const QString name = path.mid(prefix.size());
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.'))) return {};
    return name;
}

QByteArray FormField(const QByteArray& body, const QByteArray& field)
{
    QByteArray plusAsSpace = body;
    plusAsSpace.replace('+', ' ');
    return QueryValue(plusAsSpace.trimmed(), field);
}
