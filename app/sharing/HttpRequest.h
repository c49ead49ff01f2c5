#pragma once
// A browser's request to the sharing server as far as the server needs it: the method, the
// path (decoded, refused when it could name something outside what is shared), the access
// code it carries (query or cookie) and the length of its body. Plain C++ over bytes from
// the network: nothing in it is trusted.

#include <QByteArray>
#include <QString>

struct HttpRequest {
    QByteArray method;
    QString path;          // percent-decoded, starts with '/'
    QByteArray queryCode;  // ?code=...
    QByteArray cookieCode; // Cookie: qrv_code=...
    qint64 contentLength = 0;
    qsizetype headLength = 0; // bytes of the request line and headers, with the blank line
};

enum class HeadParse {
    Incomplete, // more bytes are needed
    Complete,
    Bad,      // not HTTP/1.x, a broken line, a path that could leave the shared folders
    TooLarge, // the head is longer than any browser sends
};

inline constexpr qsizetype kLargestRequestHead = 8192;

HeadParse ParseRequestHead(const QByteArray& received, HttpRequest& request);

// The name in "/pictures/NAME" when it is a plain file name (no folder, not hidden); empty
// otherwise.
QString SharedPictureName(const QString& path);

// The value of `field` in a form body ("code=1234&x=y"), decoded.
QByteArray FormField(const QByteArray& body, const QByteArray& field);
