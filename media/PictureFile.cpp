#include "media/PictureFile.h"

#include "framework/LangText.h"
#include "framework/RegularFile.h"

#include <QBuffer>
#include <QImageReader>

#include <cerrno>
#include <cstring>

namespace {

const char* FormatOf(const QString& path)
{
    const QString extension = path.section(QLatin1Char('.'), -1);
    if (extension.compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0) return "BMP";
    if (extension.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0 ||
        extension.compare(QLatin1String("jpeg"), Qt::CaseInsensitive) == 0)
        return "JPEG";
    return nullptr;
}

// Qt's limit is process-wide; it is raised for one read and put back.
class AllocationLimitFor {
public:
    explicit AllocationLimitFor(QSize size) : previous_(QImageReader::allocationLimit())
    {
        const qint64 megabytes = static_cast<qint64>(size.width()) * size.height() * 4 / (1024 * 1024) + 16;
        if (megabytes > previous_) QImageReader::setAllocationLimit(static_cast<int>(megabytes));
    }
    ~AllocationLimitFor() { QImageReader::setAllocationLimit(previous_); }
    AllocationLimitFor(const AllocationLimitFor&) = delete;
    AllocationLimitFor& operator=(const AllocationLimitFor&) = delete;

private:
    int previous_;
};

} // namespace

QImage ReadPictureFile(const QString& path, QString* reason)
{
    auto fail = [reason](const QString& why) {
        if (reason) *reason = why;
        return QImage();
    };
    const char* format = FormatOf(path);
    if (!format) return fail(LangText("PictureKindUnknown", 100, "This kind of file is not a picture the program reads."));
    // A 64-megapixel bitmap of 24 bits is 192 MB; the file may carry some more.
    constexpr qint64 kMaxFileBytes = kMaxPicturePixels * 4 + 1024 * 1024;
    qint64 fileSize = 0;
    if (!IsReadableRegularFile(path, &fileSize)) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (fileSize > kMaxFileBytes) return fail(LangText("PictureTooLarge", 100, "The picture is too large to open."));
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxFileBytes);
    if (!bytes) return fail(QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : EIO)));
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (!size.isValid()) return fail(LangText("PictureDamaged", 100, "The file is damaged or not a picture."));
    if (static_cast<qint64>(size.width()) * size.height() > kMaxPicturePixels)
        return fail(LangText("PictureTooLarge", 100, "The picture is too large to open.") +
                    QStringLiteral(" (%1 x %2)").arg(size.width()).arg(size.height()));
    QImage picture;
    {
        const AllocationLimitFor limit(size);
        picture = reader.read();
    }
    if (picture.isNull())
        return fail(LangText("PictureDamaged", 100, "The file is damaged or not a picture.") + QLatin1Char('\n') +
                    reader.errorString());
    return picture.convertToFormat(QImage::Format_RGB32);
}
