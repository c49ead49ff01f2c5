#include "media/TiffFile.h"
#include "media/PictureFile.h"
#include "media/PictureWriter.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <vector>

namespace {

// A picture whose every pixel tells where it is.
QImage Gradient(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x + y) % 256));
    return picture;
}

PictureMetadata Calibrated()
{
    PictureMetadata metadata;
    metadata.millimetresPerPixel = 0.00125; // 1.25 um, the simulated microscope at 200X
    metadata.captured = QDateTime(QDate(2026, 12, 7), QTime(14, 30, 5));
    metadata.magnification = 200;
    metadata.microscope = QStringLiteral("USB Microscope");
    return metadata;
}

// What Python's tifffile (an independent reader) finds in the file: the pixel width in
// micrometres from the resolution tags and ImageJ's unit, the unit, a pixel, the tags.
QStringList ReadWithTifffile(const QString& path)
{
    const char* script = R"(
import sys, tifffile
with tifffile.TiffFile(sys.argv[1]) as tif:
    page = tif.pages[0]
    tags = page.tags
    num, den = tags['XResolution'].value
    unit = tags['ResolutionUnit'].value
    per_cm = num / den if int(unit) == 3 else float('nan')
    ij = tif.imagej_metadata or {}
    pixels = page.asarray()
    print(repr(1e4 / per_cm))
    print(ij.get('unit', ''))
    print(' '.join(str(int(v)) for v in pixels[10, 20]))
    print(tags['DateTime'].value)
    print(tags['Model'].value)
    print(tags['Software'].value)
)";
    QProcess python;
    // Debian's own Python, which has python3-tifffile (not one a user put first in PATH).
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << python.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'));
}

// A TIFF of another layout, written with libtiff as other programs write them.
void WriteVariant(const QString& path, int samples, int bits, bool tiled, std::uint16_t compression)
{
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    ASSERT_TRUE(tiff);
    const std::uint32_t width = 64, height = 48;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    // Every sample at 3/4 of full scale, the top-left pixel at full scale.
    const std::size_t sampleBytes = static_cast<std::size_t>(bits / 8);
    auto fill = [&](std::vector<std::uint8_t>& block, std::uint32_t columns, std::uint32_t rows, std::uint32_t x0,
                    std::uint32_t y0) {
        block.assign(columns * rows * samples * sampleBytes, 0);
        for (std::uint32_t y = 0; y < rows; ++y)
            for (std::uint32_t x = 0; x < columns * samples; ++x) {
                const bool corner = x0 + x / samples == 0 && y0 + y == 0;
                const std::size_t at = (y * columns * samples + x) * sampleBytes;
                if (bits == 8) block[at] = corner ? 255 : 192;
                else {
                    const std::uint16_t v = corner ? 65535 : 49152;
                    std::memcpy(&block[at], &v, 2);
                }
            }
    };
    std::vector<std::uint8_t> block;
    if (tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        for (std::uint32_t y = 0; y < height; y += 16)
            for (std::uint32_t x = 0; x < width; x += 16) {
                fill(block, 16, 16, x, y);
                ASSERT_GE(TIFFWriteTile(tiff, block.data(), x, y, 0, 0), 0);
            }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
        for (std::uint32_t y = 0; y < height; ++y) {
            fill(block, width, 1, 0, y);
            ASSERT_GE(TIFFWriteScanline(tiff, block.data(), y, 0), 0);
        }
    }
    TIFFClose(tiff);
}

} // namespace

TEST(TiffFile, AStillCarriesItsScaleTheWayImageJReadsItAndComesBackWhole)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Still_2026-12-07_143005_200X_N0001.tif";
    const QImage picture = Gradient(320, 240);
    QString error;
    ASSERT_TRUE(WritePictureFile(path, picture, Calibrated(), &error)) << error.toStdString();

    PictureMetadata read;
    QString reason;
    const QImage back = ReadPictureFile(path, &reason, &read);
    ASSERT_FALSE(back.isNull()) << reason.toStdString();
    EXPECT_EQ(back, picture);
    EXPECT_NEAR(read.millimetresPerPixel, 0.00125, 1e-9);
    EXPECT_EQ(read.magnification, 200);
    EXPECT_EQ(read.microscope, QStringLiteral("USB Microscope"));
    EXPECT_EQ(read.captured, Calibrated().captured);

    const QStringList said = ReadWithTifffile(path);
    ASSERT_GE(said.size(), 6);
    EXPECT_NEAR(said[0].toDouble(), 1.25, 1e-6); // micrometres a pixel
    EXPECT_EQ(said[1], QStringLiteral("um"));    // ImageJ shows it as µm
    const QRgb pixel = picture.pixel(20, 10);
    EXPECT_EQ(said[2], QStringLiteral("%1 %2 %3").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel)));
    EXPECT_EQ(said[3], QStringLiteral("2026:12:07 14:30:05"));
    EXPECT_EQ(said[4], QStringLiteral("USB Microscope"));
    EXPECT_TRUE(said[5].startsWith(QStringLiteral("QRV-DM500")));
}

TEST(TiffFile, AFileImageJWroteInItsOwnConventionGivesItsScale)
{
    // ImageJ writes pixels per named unit, with no resolution unit: 0.8 a micron is 1.25 um.
    QTemporaryDir dir;
    const QString path = dir.path() + "/imagej.tif";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, numpy, tifffile; tifffile.imwrite(sys.argv[1], numpy.zeros((24, 32), "
                                 "numpy.uint8), imagej=True, resolution=(0.8, 0.8), metadata={'unit': 'micron'})"),
                  path});
    ASSERT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0) << python.readAllStandardError().toStdString();
    PictureMetadata read;
    ASSERT_FALSE(ReadPictureFile(path, nullptr, &read).isNull());
    EXPECT_NEAR(read.millimetresPerPixel, 0.00125, 1e-9);
}

TEST(TiffFile, WithoutAScaleNoneIsWritten)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/plain.tif";
    ASSERT_TRUE(WritePictureFile(path, Gradient(32, 24), PictureMetadata{}, nullptr));
    PictureMetadata read;
    ASSERT_FALSE(ReadPictureFile(path, nullptr, &read).isNull());
    EXPECT_FALSE(read.HasScale());
}

TEST(TiffFile, TheLayoutsOtherProgramsWriteAreRead)
{
    QTemporaryDir dir;
    struct Variant {
        const char* name;
        int samples, bits;
        bool tiled;
        std::uint16_t compression;
    };
    for (const Variant& v :
         {Variant{"grey8", 1, 8, false, COMPRESSION_NONE}, Variant{"grey16", 1, 16, false, COMPRESSION_LZW},
          Variant{"rgb24tiles", 3, 8, true, COMPRESSION_ADOBE_DEFLATE},
          Variant{"rgb48", 3, 16, false, COMPRESSION_ADOBE_DEFLATE},
          Variant{"rgb24lzw", 3, 8, false, COMPRESSION_LZW}}) {
        const QString path = dir.path() + "/" + v.name + ".tif";
        WriteVariant(path, v.samples, v.bits, v.tiled, v.compression);
        QString reason;
        const QImage picture = ReadPictureFile(path, &reason);
        ASSERT_FALSE(picture.isNull()) << v.name << ": " << reason.toStdString();
        EXPECT_EQ(picture.size(), QSize(64, 48)) << v.name;
        EXPECT_EQ(qGreen(picture.pixel(0, 0)), 255) << v.name;
        EXPECT_NEAR(qGreen(picture.pixel(33, 20)), 192, 1) << v.name;
        EXPECT_NEAR(qRed(picture.pixel(63, 47)), 192, 1) << v.name;
    }
}

TEST(TiffFile, DamagedAndHugeFilesAreRefusedWithAReason)
{
    QTemporaryDir dir;
    const QString whole = dir.path() + "/whole.tif";
    ASSERT_TRUE(WritePictureFile(whole, Gradient(64, 48), Calibrated(), nullptr));
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    auto refused = [&](const QByteArray& content, const char* name) {
        const QString path = dir.path() + "/" + name + ".tif";
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(content);
        out.close();
        QString reason;
        const bool isNull = ReadPictureFile(path, &reason).isNull();
        EXPECT_FALSE(reason.isEmpty()) << name;
        return isNull;
    };
    EXPECT_TRUE(refused(bytes.left(8), "header-only"));
    EXPECT_TRUE(refused(QByteArray("II*\0", 4) + QByteArray(100, '\xff'), "garbage"));
    // A directory that claims 100000 x 100000 pixels: refused before anything is decoded.
    const QString huge = dir.path() + "/huge.tif";
    TIFF* tiff = TIFFOpen(huge.toLocal8Bit().constData(), "w");
    ASSERT_TRUE(tiff);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 100000u);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 100000u);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1u);
    std::vector<std::uint8_t> row(100000, 0);
    TIFFWriteScanline(tiff, row.data(), 0, 0);
    TIFFClose(tiff);
    QString reason;
    EXPECT_TRUE(ReadPictureFile(huge, &reason).isNull());
    EXPECT_TRUE(reason.contains(QStringLiteral("100000 x 100000"))) << reason.toStdString();
}

TEST(PngFile, TheScaleGoesIntoPhysAndComesBack)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/still.png";
    const QImage picture = Gradient(64, 48);
    ASSERT_TRUE(WritePictureFile(path, picture, Calibrated(), nullptr));
    PictureMetadata read;
    const QImage back = ReadPictureFile(path, nullptr, &read);
    EXPECT_EQ(back, picture);
    EXPECT_NEAR(read.millimetresPerPixel, 0.00125, 0.00125 * 1e-5); // whole pixels per metre
    EXPECT_EQ(read.microscope, QStringLiteral("USB Microscope"));
    // A PNG at a printer's resolution carries no scale.
    QImage printed = picture;
    printed.setDotsPerMeterX(11811); // 300 dpi
    printed.setDotsPerMeterY(11811);
    ASSERT_TRUE(printed.save(dir.path() + "/printed.png"));
    ReadPictureFile(dir.path() + "/printed.png", nullptr, &read);
    EXPECT_FALSE(read.HasScale());
}

// A picture without a scale says it has none in every format: no pHYs in a PNG, no pixels
// per metre in a bitmap, no density unit in a JPEG (only its aspect); ImageMagick agrees.
TEST(PictureWriter, WithoutAScaleNoFormatClaimsAResolution)
{
    QTemporaryDir dir;
    QImage picture = Gradient(64, 48);
    picture.setDotsPerMeterX(3780); // what Qt gives every new picture: 96 dpi
    picture.setDotsPerMeterY(3780);
    for (const char* extension : {"png", "bmp", "jpg"}) {
        const QString path = dir.path() + "/still." + extension;
        ASSERT_TRUE(WritePictureFile(path, picture, PictureMetadata(), nullptr)) << extension;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QLatin1String kind(extension);
        if (kind == QLatin1String("png")) {
            EXPECT_FALSE(bytes.contains("pHYs"));
        } else if (kind == QLatin1String("bmp")) {
            EXPECT_EQ(bytes.mid(38, 8), QByteArray(8, '\0'));
        } else {
            EXPECT_EQ(bytes.at(13), '\0'); // JFIF density units
        }
        if (kind != QLatin1String("bmp")) { // (ImageMagick gives a bitmap's unit whatever it holds)
            QProcess identify;
            identify.start(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%U"), path});
            ASSERT_TRUE(identify.waitForFinished(20000));
            EXPECT_EQ(identify.readAllStandardOutput().trimmed(), QByteArray("Undefined")) << extension;
        }
        PictureMetadata read;
        ReadPictureFile(path, nullptr, &read);
        EXPECT_FALSE(read.HasScale()) << extension;
    }
    // With a scale, a PNG and a bitmap carry it as pixels per metre.
    PictureMetadata scaled;
    scaled.millimetresPerPixel = 0.0025; // 400000 pixels a metre
    ASSERT_TRUE(WritePictureFile(dir.path() + "/scaled.bmp", picture, scaled, nullptr));
    EXPECT_EQ(QImage(dir.path() + "/scaled.bmp").dotsPerMeterX(), 400000);
}
