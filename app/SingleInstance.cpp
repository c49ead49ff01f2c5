#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <unistd.h>

namespace {
constexpr char kShowRequest[] = "show\n";

QString Sanitised(QString text)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    return text.replace(unsafe, QStringLiteral("_"));
}
} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(name.isEmpty() ? DefaultName() : std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    return QStringLiteral("Vizmora-%1-%2").arg(getuid()).arg(Sanitised(display));
}

bool SingleInstance::ActivateRunningCopy(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(name_, QIODevice::ReadWrite);
    if (!socket.waitForConnected(timeoutMs)) return false; // none, or a stale socket
    socket.write(kShowRequest);
    socket.waitForBytesWritten(timeoutMs);
    // Wait for the answer so the request is not lost if this copy ends at once.
    socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Attach(std::function<void()> onActivate)
{
    onActivate_ = std::move(onActivate);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // Nobody answered before we got here, so the socket file is a crashed copy's.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_)) return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->readAll().contains("show")) return;
                socket->write("ok\n");
                socket->flush();
                if (onActivate_) onActivate_();
            });
        }
    });
    return true;
}

void SingleInstance::Detach()
{
    onActivate_ = nullptr;
    if (server_) server_->close();
}
