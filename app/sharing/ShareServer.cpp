#include "app/sharing/ShareServer.h"

#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr qint64 kLargestForm = 1024;
constexpr qint64 kFileChunk = 64 * 1024;
constexpr qint64 kSocketBuffered = 256 * 1024; // a download refills the socket below this
constexpr int kHeadTimeoutMs = 10000;          // a request that does not arrive in time is dropped
constexpr int kConnectionsBeyondViewers = 40;  // pages, lists and downloads beside the viewers

const char* ReasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 303: return "See Other";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    }
    return "Error";
}

QByteArray Resource(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The pages carry everything they use: nothing may load from elsewhere.
const QByteArray kPageHeaders = "Content-Security-Policy: default-src 'none'; img-src 'self' blob:; "
                                "style-src 'unsafe-inline'; script-src 'unsafe-inline'; connect-src 'self'; "
                                "form-action 'self'\r\n"
                                "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";

} // namespace

struct ShareServer::Connection {
    QTcpSocket* socket = nullptr;
    QByteArray received;
    HttpRequest request;
    bool headDone = false;
    enum class Sending { Nothing, Answer, Live, File } sending = Sending::Nothing;
    quint64 frameSent = 0;
    bool framePending = false;
    std::unique_ptr<QFile> file;
    QTimer headTimeout;
};

ShareServer::ShareServer(QObject* parent)
    : QObject(parent), page_(Resource(QStringLiteral(":/sharing/page.html"))),
      codeForm_(Resource(QStringLiteral(":/sharing/code.html")))
{
}

ShareServer::~ShareServer()
{
    Stop();
}

bool ShareServer::Start(quint16 port, QString* error)
{
    Stop();
    server_ = new QTcpServer(this);
    if (!server_->listen(QHostAddress::Any, port)) {
        if (error) *error = server_->errorString();
        delete server_;
        server_ = nullptr;
        return false;
    }
    if (code_.isEmpty())
        code_ = QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1000000), 6, 10, QLatin1Char('0'));
    connect(server_, &QTcpServer::newConnection, this, &ShareServer::Accept);
    return true;
}

void ShareServer::Stop()
{
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
    // Every connection goes, the viewers' streams with them.
    auto connections = std::move(connections_);
    connections_.clear();
    for (auto& [socket, connection] : connections) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    failures_.clear();
    CountViewers();
}

bool ShareServer::IsRunning() const
{
    return server_ && server_->isListening();
}

quint16 ShareServer::Port() const
{
    return server_ ? server_->serverPort() : 0;
}

void ShareServer::Accept()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (connections_.size() >= static_cast<std::size_t>(maxViewers_ + kConnectionsBeyondViewers)) {
            socket->abort(); // more at once than a class: nobody's answer is held up for it
            socket->deleteLater();
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        connection->headTimeout.setSingleShot(true);
        connect(&connection->headTimeout, &QTimer::timeout, this, [this, socket] { Drop(socket); });
        connection->headTimeout.start(kHeadTimeoutMs);
        Connection* raw = connection.get();
        connections_.emplace(socket, std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { Read(*raw); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, raw] { Written(*raw); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        if (socket->bytesAvailable() > 0) Read(*raw);
    }
}

void ShareServer::Drop(QTcpSocket* socket)
{
    const auto found = connections_.find(socket);
    if (found == connections_.end()) return;
    const bool wasViewer = found->second->sending == Connection::Sending::Live;
    auto connection = std::move(found->second);
    connections_.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (wasViewer) CountViewers();
}

void ShareServer::CountViewers()
{
    int viewers = 0;
    for (const auto& [socket, connection] : connections_)
        if (connection->sending == Connection::Sending::Live) ++viewers;
    if (viewers == viewers_) return;
    viewers_ = viewers;
    emit ViewersChanged(viewers_);
}

void ShareServer::Read(Connection& connection)
{
    if (connection.sending != Connection::Sending::Nothing) {
        connection.socket->readAll(); // one request a connection; anything after it is ignored
        return;
    }
    connection.received += connection.socket->readAll();
    if (!connection.headDone) {
        switch (ParseRequestHead(connection.received, connection.request)) {
        case HeadParse::Incomplete: return;
        case HeadParse::TooLarge: return Answer(connection, 431, "text/plain", "Request too large\n");
        case HeadParse::Bad: return Answer(connection, 400, "text/plain", "Bad request\n");
        case HeadParse::Complete: break;
        }
        connection.headDone = true;
        if (connection.request.contentLength > kLargestForm)
            return Answer(connection, 413, "text/plain", "Request too large\n");
    }
    const qsizetype bodyStart = connection.request.headLength;
    if (connection.received.size() - bodyStart < connection.request.contentLength) return;
    connection.headTimeout.stop();
    Handle(connection, connection.received.mid(bodyStart, connection.request.contentLength));
}

bool ShareServer::CodeAccepted(const HttpRequest& request) const
{
    const QByteArray code = code_.toLatin1();
    return !code.isEmpty() && (request.queryCode == code || request.cookieCode == code);
}

int ShareServer::FailureDelay(const QHostAddress& address)
{
    using namespace std::chrono;
    Failures& failures = failures_[address.toString()];
    const auto now = steady_clock::now();
    if (now - failures.last > minutes(10)) failures.count = 0;
    failures.last = now;
    ++failures.count;
    // Three tries are free (a typo); then each one waits a second longer, up to eight.
    return failures.count <= 3 ? 0 : std::min(failures.count - 3, 8) * 1000;
}

QByteArray ShareServer::CodePage(bool wrong) const
{
    QByteArray page = codeForm_;
    page.replace("<!--wrong-->", wrong ? "<p class=\"wrong\" id=\"wrong\">That code is not right.</p>" : "");
    return page;
}

void ShareServer::Handle(Connection& connection, const QByteArray& body)
{
    const HttpRequest& request = connection.request;
    const bool head = request.method == "HEAD";
    if (request.method != "GET" && !head && request.method != "POST")
        return Answer(connection, 405, "text/plain", "Read-only\n", "Allow: GET, HEAD, POST\r\n");

    // The code form: the only thing that needs no code.
    if (request.method == "POST") {
        if (request.path != QLatin1String("/code")) return Answer(connection, 405, "text/plain", "Read-only\n");
        if (FormField(body, "code") == code_.toLatin1() && !code_.isEmpty()) {
            return Answer(connection, 303, "text/plain", "",
                          "Location: /\r\nSet-Cookie: qrv_code=" + code_.toLatin1() +
                              "; Path=/; HttpOnly; SameSite=Strict\r\n");
        }
    } else if (CodeAccepted(request)) {
        // A code in the address (the QR code's) is kept as the cookie, so the page's own
        // requests carry it.
        const QByteArray cookie =
            request.queryCode.isEmpty() || request.cookieCode == request.queryCode
                ? QByteArray()
                : "Set-Cookie: qrv_code=" + code_.toLatin1() + "; Path=/; HttpOnly; SameSite=Strict\r\n";
        const QString& path = request.path;
        if (path == QLatin1String("/")) {
            if (viewers_ >= maxViewers_)
                return Answer(connection, 503, "text/html; charset=utf-8",
                              "<!DOCTYPE html><meta charset=\"utf-8\"><title>Full</title><p id=\"full\">"
                              "Everyone who can watch is watching (" +
                                  QByteArray::number(maxViewers_) + "). Try again in a moment.</p>\n",
                              kPageHeaders + cookie);
            return Answer(connection, 200, "text/html; charset=utf-8", head ? QByteArray() : page_,
                          kPageHeaders + cookie);
        }
        if (path == QLatin1String("/live")) {
            if (viewers_ >= maxViewers_) return Answer(connection, 503, "text/plain", "Too many viewers\n");
            if (head) return Answer(connection, 200, "multipart/x-mixed-replace; boundary=qrvframe", {});
            return StartLive(connection);
        }
        if (path == QLatin1String("/info")) return Answer(connection, 200, "application/json", info_, cookie);
        if (path == QLatin1String("/pictures/") || path == QLatin1String("/pictures"))
            return Answer(connection, 200, "application/json", pictures_.ListJson(), cookie);
        const QString name = SharedPictureName(path);
        if (!name.isEmpty())
            if (const auto picture = pictures_.Find(name)) return StartFile(connection, *picture, head);
        return Answer(connection, 404, "text/plain", "Not found\n");
    } else if (request.queryCode.isEmpty() && request.cookieCode.isEmpty()) {
        // No code yet: the page asks for it; everything else is refused.
        if (request.path == QLatin1String("/"))
            return Answer(connection, 200, "text/html; charset=utf-8", CodePage(false), kPageHeaders);
        return Answer(connection, 403, "text/plain", "The access code is needed\n");
    }
    // A wrong code: refused, later each time it is repeated from the same address.
    const int delay = FailureDelay(connection.socket->peerAddress());
    const bool asPage = request.path == QLatin1String("/") || request.path == QLatin1String("/code");
    const QPointer<QTcpSocket> socket = connection.socket;
    connection.sending = Connection::Sending::Answer; // nothing more is read meanwhile
    QTimer::singleShot(delay, this, [this, socket, asPage] {
        if (!socket) return;
        const auto found = connections_.find(socket.data());
        if (found == connections_.end()) return;
        found->second->sending = Connection::Sending::Nothing;
        if (asPage) Answer(*found->second, 403, "text/html; charset=utf-8", CodePage(true), kPageHeaders);
        else Answer(*found->second, 403, "text/plain", "Wrong access code\n");
    });
}

void ShareServer::Answer(Connection& connection, int status, const QByteArray& type, const QByteArray& body,
                         const QByteArray& extraHeaders)
{
    connection.headTimeout.stop();
    connection.sending = Connection::Sending::Answer;
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonOf(status) +
                        "\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                        "\r\nCache-Control: no-store\r\nConnection: close\r\n" + extraHeaders + "\r\n";
    if (connection.request.method != "HEAD") answer += body;
    connection.socket->write(answer);
    connection.socket->disconnectFromHost(); // once everything is written
}

void ShareServer::StartLive(Connection& connection)
{
    connection.sending = Connection::Sending::Live;
    connection.socket->write("HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=qrvframe\r\n"
                             "Cache-Control: no-store\r\nConnection: close\r\n\r\n");
    connection.framePending = true;
    SendFrame(connection);
    CountViewers();
}

void ShareServer::PublishFrame(const QByteArray& jpeg)
{
    frame_ = jpeg;
    ++frameNumber_;
    for (auto& [socket, connection] : connections_)
        if (connection->sending == Connection::Sending::Live) {
            connection->framePending = true;
            SendFrame(*connection);
        }
}

qint64 ShareServer::QueuedBytesMost() const
{
    qint64 most = 0;
    for (const auto& [socket, connection] : connections_)
        if (connection->sending == Connection::Sending::Live) most = std::max(most, socket->bytesToWrite());
    return most;
}

void ShareServer::SendFrame(Connection& connection)
{
    // A viewer still taking the last frame skips to the newest once it has it: a slow one
    // never holds the others back and never has more than one frame waiting.
    if (!connection.framePending || frame_.isEmpty() || connection.socket->bytesToWrite() > 0) return;
    if (connection.frameSent == frameNumber_) return;
    connection.framePending = false;
    connection.frameSent = frameNumber_;
    connection.socket->write(
        "--qrvframe\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(frame_.size()) + "\r\n\r\n");
    connection.socket->write(frame_);
    connection.socket->write("\r\n");
}

void ShareServer::StartFile(Connection& connection, const SharedPicture& picture, bool headOnly)
{
    auto file = std::make_unique<QFile>(picture.path);
    if (!file->open(QIODevice::ReadOnly)) return Answer(connection, 404, "text/plain", "Not found\n");
    connection.sending = Connection::Sending::File;
    QByteArray quotedName = picture.name.toUtf8();
    quotedName.replace('"', "_").replace('\\', "_");
    connection.socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + SharedPictures::ContentType(picture.name) +
                             "\r\nContent-Length: " + QByteArray::number(file->size()) +
                             "\r\nContent-Disposition: inline; filename=\"" + quotedName +
                             "\"\r\nX-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\nConnection: "
                             "close\r\n\r\n");
    if (headOnly) {
        connection.socket->disconnectFromHost();
        return;
    }
    connection.file = std::move(file);
    ContinueFile(connection);
}

void ShareServer::ContinueFile(Connection& connection)
{
    QFile& file = *connection.file;
    while (connection.socket->bytesToWrite() < kSocketBuffered && !file.atEnd()) {
        const QByteArray chunk = file.read(kFileChunk);
        if (chunk.isEmpty()) break; // a read error: the length will not be met, the browser sees it
        connection.socket->write(chunk);
    }
    if (file.atEnd() || file.error() != QFile::NoError) {
        connection.file.reset();
        connection.sending = Connection::Sending::Answer;
        connection.socket->disconnectFromHost();
    }
}

void ShareServer::Written(Connection& connection)
{
    if (connection.sending == Connection::Sending::Live) SendFrame(connection);
    else if (connection.sending == Connection::Sending::File && connection.file) ContinueFile(connection);
}
