#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr char kShowRequest[] = "show\n";
constexpr char kShown[] = "ok\n";

QString Sanitised(QString text)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    return text.replace(unsafe, QStringLiteral("_"));
}

// A folder that only this user can enter: a real directory (no link), ours, mode 0700.
bool IsPrivateFolder(const QString& folder)
{
    struct stat info {};
    if (folder.isEmpty() || ::lstat(QFile::encodeName(folder).constData(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// The user of the process at the other end of a connected local socket.
bool PeerUser(qintptr descriptor, uid_t& user)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (descriptor < 0 ||
        ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    user = credentials.uid;
    return true;
}

bool PeerIs(const QLocalSocket& socket, uid_t trusted)
{
    uid_t user = 0;
    return PeerUser(socket.socketDescriptor(), user) && user == trusted;
}
} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent, uid_t trustedUser)
    : QObject(parent), trustedUser_(trustedUser)
{
    if (name.isEmpty()) name = DefaultName();
    if (name.contains(QLatin1Char('/'))) {
        path_ = name;
    } else if (const QString folder = PrivateFolder(); !folder.isEmpty()) {
        path_ = folder + QLatin1Char('/') + name;
    }
}

SingleInstance::~SingleInstance()
{
    Detach();
}

QString SingleInstance::DefaultName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    return QStringLiteral("Vizmora-%1").arg(Sanitised(display));
}

QString SingleInstance::PrivateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime)) return runtime;
    // No private runtime folder: one of our own, made private, and refused when somebody
    // else got there first.
    const QString own = QDir::tempPath() + QStringLiteral("/qrv-dm500-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return IsPrivateFolder(own) ? own : QString();
}

bool SingleInstance::ActivateRunningCopy(int timeoutMs) const
{
    if (path_.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(path_, QIODevice::ReadWrite);
    if (!socket.waitForConnected(timeoutMs)) return false; // none, or a stale socket
    // Something listening there that is not one of our own copies is not obeyed.
    if (!PeerIs(socket, trustedUser_)) return false;
    // On Wayland only the launcher's activation token lets the running copy come forward:
    // it goes along with the request.
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    socket.write(token.isEmpty() ? QByteArray(kShowRequest) : "show " + token.left(512) + "\n");
    socket.waitForBytesWritten(timeoutMs);
    // Only an answer counts: a copy that does not answer is not running properly.
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs)) answer += socket.readAll();
    socket.disconnectFromServer();
    return answer.startsWith(kShown);
}

bool SingleInstance::Attach(std::function<void()> onActivate)
{
    if (path_.isEmpty()) return false;
    onActivate_ = std::move(onActivate);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path_)) {
        // Nobody of ours answered before we got here: the socket is a crashed copy's (or
        // a stranger's), and this copy takes its place.
        QLocalServer::removeServer(path_);
        if (!server_->listen(path_)) return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!PeerIs(*socket, trustedUser_)) {
                socket->abort(); // another user's process gets nothing
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                const QByteArray request = socket->readAll();
                if (!request.contains("show")) return;
                socket->write(kShown);
                socket->flush();
                // The second copy's activation token, for the window system to let this
                // window come forward (Qt's Wayland plugin takes it from the environment).
                const QByteArray token = request.startsWith("show ") ? request.mid(5).trimmed() : QByteArray();
                if (!token.isEmpty() && token.size() <= 512 && !token.contains('\0'))
                    qputenv("XDG_ACTIVATION_TOKEN", token);
                if (onActivate_) onActivate_();
            });
        }
    });
    return true;
}

void SingleInstance::Detach()
{
    onActivate_ = nullptr;
    if (server_ && server_->isListening()) {
        server_->close(); // removes the socket file
    }
}
