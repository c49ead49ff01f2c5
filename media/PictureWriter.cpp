#include "media/PictureWriter.h"

#include "framework/RegularFile.h"
#include "media/TiffFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

std::optional<PictureFormat> PictureFormatOf(const QString& path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("bmp")) return PictureFormat::Bmp;
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg")) return PictureFormat::Jpeg;
    if (extension == QLatin1String("tif") || extension == QLatin1String("tiff")) return PictureFormat::Tiff;
    if (extension == QLatin1String("png")) return PictureFormat::Png;
    return std::nullopt;
}

QString ExtensionOf(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Bmp: return QStringLiteral("bmp");
    case PictureFormat::Jpeg: return QStringLiteral("jpg");
    case PictureFormat::Tiff: return QStringLiteral("tif");
    case PictureFormat::Png: return QStringLiteral("png");
    }
    return QStringLiteral("bmp");
}

namespace {

// Qt writes every picture's resolution (96 dpi when nobody set one), which other programs
// read as a scale; where there is none, the encoded file is made to say none.
void WithoutResolution(QByteArray& bytes, PictureFormat format)
{
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    if (format == PictureFormat::Bmp && bytes.size() >= 46) {
        std::memset(data + 38, 0, 8); // biXPelsPerMeter, biYPelsPerMeter
    } else if (format == PictureFormat::Jpeg && bytes.size() >= 18 && data[2] == 0xFF && data[3] == 0xE0 &&
               std::memcmp(data + 6, "JFIF", 5) == 0) {
        data[13] = 0; // density units: none, only the pixels' aspect (1:1)
        data[14] = 0;
        data[15] = 1;
        data[16] = 0;
        data[17] = 1;
    } else if (format == PictureFormat::Png) {
        // Chunks after the 8-byte signature: length, type, data, CRC. pHYs goes whole.
        qsizetype at = 8;
        while (at + 12 <= bytes.size()) {
            const quint32 length =
                (quint32(data[at]) << 24) | (quint32(data[at + 1]) << 16) | (quint32(data[at + 2]) << 8) | data[at + 3];
            if (length > quint32(bytes.size() - at - 12)) break;
            if (std::memcmp(data + at + 4, "pHYs", 4) == 0) {
                bytes.remove(at, 12 + static_cast<qsizetype>(length));
                return;
            }
            at += 12 + static_cast<qsizetype>(length);
        }
    }
}

// The picture with the scale as its resolution (pixels per metre), or with none.
QImage WithScaleAsResolution(const QImage& picture, const PictureMetadata& metadata)
{
    QImage tagged = picture;
    if (metadata.HasScale()) {
        const int perMetre = static_cast<int>(std::lround(1000.0 / metadata.millimetresPerPixel));
        tagged.setDotsPerMeterX(perMetre);
        tagged.setDotsPerMeterY(perMetre);
    }
    return tagged;
}

// PNG: the scale as pHYs (pixels per metre), the rest as the standard text keywords.
QByteArray EncodePng(const QImage& picture, const PictureMetadata& metadata)
{
    QImage tagged = WithScaleAsResolution(picture, metadata);
    tagged.setText(QStringLiteral("Software"), PictureSoftwareName());
    if (metadata.captured.isValid())
        tagged.setText(QStringLiteral("Creation Time"), metadata.captured.toString(Qt::ISODate));
    if (!metadata.microscope.isEmpty()) tagged.setText(QStringLiteral("Source"), metadata.microscope);
    if (metadata.magnification > 0)
        tagged.setText(QStringLiteral("Comment"), QStringLiteral("Magnification %1X").arg(metadata.magnification));
    if (metadata.HasScale())
        tagged.setText(QStringLiteral("Description"),
                       QStringLiteral("Pixel size %1 um").arg(metadata.millimetresPerPixel * 1000.0, 0, 'g', 10));
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    // zlib's fastest level: a still is written in a few tens of milliseconds, at most a fifth
    // larger than at the slowest.
    return tagged.save(&out, "PNG", 80) ? bytes : QByteArray();
}

} // namespace

bool WriteByNameWhole(const QString& path, const std::function<bool(const QString& temporary, QString* error)>& write,
                      QString* error)
{
    // A library that writes a file by its name writes a temporary one beside the destination,
    // renamed over it when complete.
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
    temporary.setAutoRemove(true);
    if (!temporary.open()) {
        if (error) *error = temporary.errorString();
        return false;
    }
    temporary.close();
    if (!write(temporary.fileName(), error)) return false;
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    temporary.setAutoRemove(false); // it has the destination's name now
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

namespace {

bool WriteTiffWhole(const QString& path, const QImage& picture, const PictureMetadata& metadata, QString* error)
{
    return WriteByNameWhole(
        path, [&](const QString& temporary, QString* why) { return WriteTiffFile(temporary, picture, metadata, why); },
        error);
}

} // namespace

bool WritePictureFile(const QString& path, const QImage& picture, const PictureMetadata& metadata, QString* error)
{
    const std::optional<PictureFormat> format = PictureFormatOf(path);
    if (!format || picture.isNull()) {
        if (error) *error = QStringLiteral("no picture format for this name");
        return false;
    }
    if (*format == PictureFormat::Tiff) return WriteTiffWhole(path, picture, metadata, error);
    QByteArray bytes;
    if (*format == PictureFormat::Png) {
        bytes = EncodePng(picture, metadata);
    } else {
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        const bool bitmap = *format == PictureFormat::Bmp;
        if (!WithScaleAsResolution(picture, metadata)
                 .convertToFormat(QImage::Format_RGB888)
                 .save(&out, bitmap ? "BMP" : "JPEG", bitmap ? -1 : 90))
            bytes.clear();
    }
    if (!metadata.HasScale()) WithoutResolution(bytes, *format);
    if (bytes.isEmpty()) {
        if (error) *error = QStringLiteral("the picture could not be encoded");
        return false;
    }
    return WriteFileWhole(path, bytes, error);
}
