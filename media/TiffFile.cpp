#include "media/TiffFile.h"

#include "framework/LangText.h"
#include "media/ImageJOverlay.h"

#include <QCoreApplication>
#include <QFile>

#include <tiffio.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// libtiff reports through process-wide handlers; the last message of this thread is kept
// as the reason of a failure, warnings are not shown.
thread_local QString tiffMessage;

extern "C" void KeepTiffError(const char* module, const char* format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    tiffMessage = QString::fromLocal8Bit(text);
    (void)module;
}

extern "C" void IgnoreTiffWarning(const char*, const char*, va_list) {}

// ImageJ's metadata tags (its overlay), known to libtiff in every file opened.
TIFFExtendProc previousExtender = nullptr;

extern "C" void AddImageJTags(TIFF* tiff)
{
    static const TIFFFieldInfo kFields[] = {
        {kImageJMetadataCountsTag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_LONG, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("IJMetadataByteCounts")},
        {kImageJMetadataTag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_BYTE, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("IJMetadata")},
    };
    TIFFMergeFieldInfo(tiff, kFields, 2);
    if (previousExtender) previousExtender(tiff);
}

void RouteTiffMessages()
{
    static const bool routed = [] {
        TIFFSetErrorHandler(KeepTiffError);
        TIFFSetWarningHandler(IgnoreTiffWarning);
        previousExtender = TIFFSetTagExtender(AddImageJTags);
        return true;
    }();
    (void)routed;
    tiffMessage.clear();
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// ImageJ writes its version first; a description that starts so is read as its key=value
// lines. Only "um" makes ImageJ turn a centimetre resolution into micrometres.
constexpr const char* kImageJVersion = "ImageJ=1.53t";

} // namespace

QString PictureSoftwareName()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("QRV-DM500") : QStringLiteral("QRV-DM500 ") + version;
}

QByteArray ImageJDescription(const PictureMetadata& metadata)
{
    if (!metadata.HasScale()) return {};
    QByteArray text = QByteArray(kImageJVersion) + "\nunit=um\n";
    if (metadata.magnification > 0) text += "magnification=" + QByteArray::number(metadata.magnification) + "\n";
    return text;
}

QString ImageJUnitOf(const QByteArray& description)
{
    if (!description.startsWith("ImageJ=")) return {};
    for (const QByteArray& line : description.split('\n'))
        if (line.startsWith("unit=")) return QString::fromLatin1(line.mid(5).trimmed());
    return {};
}

namespace {

// Uncompressed top-down rows in strips. Two strips' sizes fit in the tag itself, where
// ImageJ looks for an offset instead and fails to open the picture; such a picture (a small
// one) is one strip.
void SetLayout(TIFF* t, int width, int height, int samples, int bits, int photometric)
{
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    std::uint32_t rowsPerStrip = TIFFDefaultStripSize(t, 0);
    if (rowsPerStrip > 0 && (static_cast<std::uint32_t>(height) + rowsPerStrip - 1) / rowsPerStrip == 2)
        rowsPerStrip = static_cast<std::uint32_t>(height);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
}

// Pixels per centimetre, as every reader of the tags understands them.
void SetResolution(TIFF* t, double millimetresPerPixel)
{
    const double perCentimetre = 10.0 / millimetresPerPixel;
    TIFFSetField(t, TIFFTAG_XRESOLUTION, perCentimetre);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, perCentimetre);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
}

} // namespace

bool WriteTiffFile(const QString& path, const QImage& picture, const PictureMetadata& metadata, QString* error)
{
    RouteTiffMessages();
    auto fail = [error](const QString& why) {
        if (error) *error = why.isEmpty() ? QStringLiteral("the TIFF file could not be written") : why;
        return false;
    };
    if (picture.isNull()) return fail(QStringLiteral("no picture"));
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) return fail(QStringLiteral("no memory for the picture"));
    TiffPtr tiff(TIFFOpen(QFile::encodeName(path).constData(), "w"));
    if (!tiff) return fail(tiffMessage);
    TIFF* t = tiff.get();
    SetLayout(t, rgb.width(), rgb.height(), 3, 8, PHOTOMETRIC_RGB);
    if (metadata.HasScale()) {
        SetResolution(t, metadata.millimetresPerPixel);
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, ImageJDescription(metadata).constData());
    }
    if (metadata.captured.isValid())
        TIFFSetField(t, TIFFTAG_DATETIME,
                     metadata.captured.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1().constData());
    if (!metadata.microscope.isEmpty()) TIFFSetField(t, TIFFTAG_MODEL, metadata.microscope.toUtf8().constData());
    TIFFSetField(t, TIFFTAG_SOFTWARE, PictureSoftwareName().toUtf8().constData());
    // The shapes over the picture, as ImageJ keeps its overlay.
    const ImageJMetadata overlay = EncodeImageJOverlay(metadata.overlay, TIFFIsBigEndian(t) != 0);
    if (!overlay.counts.empty()) {
        TIFFSetField(t, kImageJMetadataCountsTag, static_cast<std::uint32_t>(overlay.counts.size()),
                     overlay.counts.data());
        TIFFSetField(t, kImageJMetadataTag, static_cast<std::uint32_t>(overlay.bytes.size()),
                     overlay.bytes.constData());
    }
    for (int y = 0; y < rgb.height(); ++y)
        if (TIFFWriteScanline(t, const_cast<uchar*>(rgb.constScanLine(y)), static_cast<std::uint32_t>(y), 0) < 0)
            return fail(tiffMessage);
    if (!TIFFWriteDirectory(t)) return fail(tiffMessage);
    TIFFFlush(t);
    tiff.reset(); // closes the file; its last bytes are written here
    if (!tiffMessage.isEmpty()) return fail(tiffMessage);
    return true;
}

QImage ReadTiffFile(const QString& path, qint64 maxPixels, QString* reason, PictureMetadata* metadata)
{
    RouteTiffMessages();
    auto fail = [reason](const QString& why) {
        if (reason) *reason = why.isEmpty() ? QStringLiteral("not a TIFF picture") : why;
        return QImage();
    };
    TiffPtr tiff(TIFFOpen(QFile::encodeName(path).constData(), "r"));
    if (!tiff) return fail(tiffMessage);
    TIFF* t = tiff.get();
    std::uint32_t width = 0, height = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0) return fail(QString());
    if (static_cast<qint64>(width) * height > maxPixels)
        return fail(LangText("PictureTooLarge", 100, "The picture is too large to open.") +
                    QStringLiteral(" (%1 x %2)").arg(width).arg(height));

    if (metadata) {
        *metadata = PictureMetadata{};
        float xResolution = 0;
        std::uint16_t unit = RESUNIT_INCH;
        char* description = nullptr;
        char* model = nullptr;
        char* dateTime = nullptr;
        const bool hasResolution = TIFFGetField(t, TIFFTAG_XRESOLUTION, &xResolution) == 1 && xResolution > 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
        const QByteArray text = TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description) == 1 && description
                                    ? QByteArray(description)
                                    : QByteArray();
        const QString imageJUnit = ImageJUnitOf(text);
        if (hasResolution && std::isfinite(xResolution)) {
            // Only a physical unit is a scale: an inch or a centimetre, or ImageJ's own
            // convention of pixels per named unit.
            double millimetres = 0;
            if (unit == RESUNIT_CENTIMETER) millimetres = 10.0 / xResolution;
            else if (unit == RESUNIT_INCH && !imageJUnit.isEmpty()) millimetres = 25.4 / xResolution;
            else if (unit == RESUNIT_NONE &&
                     (imageJUnit == QLatin1String("micron") || imageJUnit == QLatin1String("um") ||
                      imageJUnit == QStringLiteral("\u00B5m")))
                millimetres = 0.001 / xResolution;
            else if (unit == RESUNIT_NONE && imageJUnit == QLatin1String("mm")) millimetres = 1.0 / xResolution;
            if (millimetres > 0 && millimetres < 1e6) metadata->millimetresPerPixel = millimetres;
        }
        if (TIFFGetField(t, TIFFTAG_MODEL, &model) == 1 && model) metadata->microscope = QString::fromUtf8(model);
        if (TIFFGetField(t, TIFFTAG_DATETIME, &dateTime) == 1 && dateTime)
            metadata->captured =
                QDateTime::fromString(QString::fromLatin1(dateTime), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        for (const QByteArray& line : text.split('\n'))
            if (line.startsWith("magnification=")) metadata->magnification = line.mid(14).trimmed().toInt();
        // The shapes over it, where ImageJ or this program kept an overlay.
        std::uint32_t partCount = 0, byteCount = 0;
        const std::uint32_t* parts = nullptr;
        const char* bytes = nullptr;
        if (TIFFGetField(t, kImageJMetadataCountsTag, &partCount, &parts) == 1 && parts && partCount > 0 &&
            TIFFGetField(t, kImageJMetadataTag, &byteCount, &bytes) == 1 && bytes && byteCount > 0)
            metadata->overlay =
                DecodeImageJOverlay(std::vector<std::uint32_t>(parts, parts + partCount),
                                    QByteArray(bytes, static_cast<qsizetype>(byteCount)), TIFFIsBigEndian(t) != 0);
    }

    // libtiff's RGBA interface reads every layout asked for (grey and colour, 8 and 16 bits,
    // strips and tiles, any compression it was built with) into 8-bit samples.
    QImage picture(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGBA8888);
    if (picture.isNull()) return fail(QStringLiteral("no memory for the picture"));
    static_assert(sizeof(std::uint32_t) == 4);
    if (!TIFFReadRGBAImageOriented(t, width, height, reinterpret_cast<std::uint32_t*>(picture.bits()),
                                   ORIENTATION_TOPLEFT, 0))
        return fail(tiffMessage);
    return picture.convertToFormat(QImage::Format_RGB32);
}

bool WriteValueTiff(const QString& path, int width, int height, const float* values, double millimetresPerPixel,
                    QString* error)
{
    RouteTiffMessages();
    auto fail = [error](const QString& why) {
        if (error) *error = why.isEmpty() ? QStringLiteral("the TIFF file could not be written") : why;
        return false;
    };
    if (width <= 0 || height <= 0 || !values) return fail(QStringLiteral("no values"));
    TiffPtr tiff(TIFFOpen(QFile::encodeName(path).constData(), "w"));
    if (!tiff) return fail(tiffMessage);
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    SetLayout(t, width, height, 1, 32, PHOTOMETRIC_MINISBLACK);
    // The values' range for ImageJ's display, and their unit.
    float low = 0, high = 0;
    bool any = false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i)
        if (!std::isnan(values[i])) {
            low = any ? std::min(low, values[i]) : values[i];
            high = any ? std::max(high, values[i]) : values[i];
            any = true;
        }
    QByteArray description = QByteArray(kImageJVersion) + "\n";
    if (millimetresPerPixel > 0) {
        SetResolution(t, millimetresPerPixel);
        description += "unit=um\n";
    }
    description += "vunit=um\nmin=" + QByteArray::number(low) + "\nmax=" + QByteArray::number(high) + "\n";
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description.constData());
    TIFFSetField(t, TIFFTAG_SOFTWARE, PictureSoftwareName().toUtf8().constData());
    std::vector<float> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        std::copy_n(values + static_cast<std::size_t>(y) * width, width, row.begin());
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0) return fail(tiffMessage);
    }
    if (!TIFFWriteDirectory(t)) return fail(tiffMessage);
    TIFFFlush(t);
    tiff.reset();
    if (!tiffMessage.isEmpty()) return fail(tiffMessage);
    return true;
}
