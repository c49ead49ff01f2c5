// A request as a browser, or anybody on the network, sends it to the sharing server: the head,
// a path that may try to leave the shared folders, a form body.
#include "app/sharing/HttpRequest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    HttpRequest request;
    if (ParseRequestHead(bytes, request) == HeadParse::Complete) {
        // Whatever came through is a path of the server's own: no step up, no encoded slash.
        if (request.path.contains(QStringLiteral("/../")) || request.path.endsWith(QStringLiteral("/..")) ||
            !request.path.startsWith(QLatin1Char('/')))
            __builtin_trap();
        const QString name = SharedPictureName(request.path);
        if (name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.'))) __builtin_trap();
        FormField(bytes.mid(request.headLength), "code");
    }
    return 0;
}
