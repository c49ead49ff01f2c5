#include "framework/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstring>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

OwnedFd OpenRegularFile(const QString& path)
{
    // Non-blocking, so a FIFO or a device never holds the open; the flag goes again once
    // the descriptor is known to be a regular file.
    OwnedFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.IsValid()) return fd;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        fd.Reset();
        errno = EINVAL;
        return fd;
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes)
{
    OwnedFd fd = OpenRegularFile(path);
    if (!fd.IsValid()) return std::nullopt;
    QFile file;
    if (!file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return std::nullopt;
    fd.Release(); // the file closes it now
    if (file.size() > maxBytes) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

bool IsReadableRegularFile(const QString& path, qint64* size)
{
    const OwnedFd fd = OpenRegularFile(path);
    if (!fd.IsValid()) return false;
    struct stat info {};
    const bool ok = ::fstat(fd.Get(), &info) == 0;
    if (ok && size) *size = info.st_size;
    return ok;
}

namespace {

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A file written next to its destination under a temporary name and renamed over it only
// once every byte is on disk. (QSaveFile reports success for a write the file-size limit
// cut short, so the system calls are made here and each one checked.)
class WholeFileWriter {
public:
    explicit WholeFileWriter(const QString& destination) : destination_(QFile::encodeName(destination))
    {
        temporary_ = destination_ + ".XXXXXX";
        fd_ = ::mkstemp(temporary_.data());
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        created_ = true;
        // A new file gets the usual rights (mkstemp makes it private).
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    ~WholeFileWriter()
    {
        if (fd_ >= 0) ::close(fd_);
        if (created_ && !committed_) ::unlink(temporary_.constData());
    }

    bool Write(const char* bytes, qint64 length)
    {
        while (fd_ >= 0 && length > 0) {
            const ssize_t written = ::write(fd_, bytes, static_cast<std::size_t>(length));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                error_ = written < 0 ? errno : ENOSPC;
                return false;
            }
            bytes += written;
            length -= written;
        }
        return fd_ >= 0;
    }

    bool Commit()
    {
        if (fd_ < 0) return false;
        const bool synced = ::fsync(fd_) == 0;
        const int syncError = errno;
        const bool closed = ::close(fd_) == 0;
        const int closeError = errno;
        fd_ = -1;
        if (!synced || !closed) {
            error_ = !synced ? syncError : closeError;
            return false;
        }
        if (::rename(temporary_.constData(), destination_.constData()) != 0) {
            error_ = errno;
            return false;
        }
        committed_ = true;
        return true;
    }

    QString Error() const { return SystemReason(error_); }

private:
    QByteArray destination_;
    QByteArray temporary_;
    int fd_ = -1;
    int error_ = 0;
    bool created_ = false;
    bool committed_ = false;
};

} // namespace

bool CopyRegularFile(const QString& source, const QString& destination, QString* error)
{
    OwnedFd fd = OpenRegularFile(source);
    if (!fd.IsValid()) {
        if (error) *error = SystemReason(errno);
        return false;
    }
    QFile input;
    if (!input.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (error) *error = input.errorString();
        return false;
    }
    fd.Release(); // the file closes it now
    WholeFileWriter output(destination);
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(1 << 20);
        if (chunk.isEmpty() && input.error() != QFileDevice::NoError) {
            if (error) *error = input.errorString();
            return false;
        }
        if (!output.Write(chunk.constData(), chunk.size())) {
            if (error) *error = output.Error();
            return false;
        }
    }
    if (output.Commit()) return true;
    if (error) *error = output.Error();
    return false;
}

bool WriteFileWhole(const QString& destination, const QByteArray& bytes, QString* error)
{
    WholeFileWriter output(destination);
    if (output.Write(bytes.constData(), bytes.size()) && output.Commit()) return true;
    if (error) *error = output.Error();
    return false;
}

bool IsSameFile(const QString& first, const QString& second)
{
    struct stat a {
    }, b{};
    return ::stat(QFile::encodeName(first).constData(), &a) == 0 &&
           ::stat(QFile::encodeName(second).constData(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int RemoveStaleTemporaryFiles(const QString& folder)
{
    static const QRegularExpression kTemporary(
        QStringLiteral("^.+\\.(bmp|jpg|jpeg|tif|tiff|png|avi|csv)\\.[A-Za-z0-9]{6}$"),
        QRegularExpression::CaseInsensitiveOption);
    int removed = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& file : files)
        if (!file.isSymLink() && kTemporary.match(file.fileName()).hasMatch() && QFile::remove(file.filePath()))
            ++removed;
    return removed;
}
