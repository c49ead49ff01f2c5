#include "media/PictureFile.h"

#include "framework/LangText.h"
#include "framework/RegularFile.h"
#include "media/PictureWriter.h"
#include "media/TiffFile.h"

#include <QBuffer>
#include <QImageReader>

#include <cerrno>
#include <cstring>

namespace {

const char* FormatOf(const QString& path)
{
    switch (PictureFormatOf(path).value_or(PictureFormat::Tiff)) {
    case PictureFormat::Bmp: return "BMP";
    case PictureFormat::Jpeg: return "JPEG";
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Tiff: break; // libtiff's, not Qt's
    }
    return nullptr;
}

// A PNG's pHYs is a scale only at a resolution no printer or screen has (finer than 10 um
// a pixel); print resolutions say nothing about the specimen.
void TakePngScale(const QImage& picture, PictureMetadata& metadata)
{
    if (picture.dotsPerMeterX() >= 100000 && picture.dotsPerMeterX() == picture.dotsPerMeterY())
        metadata.millimetresPerPixel = 1000.0 / picture.dotsPerMeterX();
    metadata.microscope = picture.text(QStringLiteral("Source"));
    metadata.captured = QDateTime::fromString(picture.text(QStringLiteral("Creation Time")), Qt::ISODate);
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

QImage ReadPictureFile(const QString& path, QString* reason, PictureMetadata* metadata)
{
    auto fail = [reason](const QString& why) {
        if (reason) *reason = why;
        return QImage();
    };
    if (metadata) *metadata = PictureMetadata{};
    const std::optional<PictureFormat> kind = PictureFormatOf(path);
    if (!kind)
        return fail(LangText("PictureKindUnknown", 100, "This kind of file is not a picture the program reads."));
    if (*kind == PictureFormat::Tiff) {
        if (!IsReadableRegularFile(path)) return fail(QString::fromLocal8Bit(std::strerror(errno)));
        QString why;
        const QImage picture = ReadTiffFile(path, kMaxPicturePixels, &why, metadata);
        if (picture.isNull())
            return fail(why.startsWith(LangText("PictureTooLarge", 100, "The picture is too large to open."))
                            ? why
                            : LangText("PictureDamaged", 100, "The file is damaged or not a picture.") +
                                  QLatin1Char('\n') + why);
        return picture;
    }
    const char* format = FormatOf(path);
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
    if (metadata && *kind == PictureFormat::Png) TakePngScale(picture, *metadata);
    return picture.convertToFormat(QImage::Format_RGB32);
}
