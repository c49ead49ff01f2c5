#include "media/ThumbnailDecoder.h"
#include "TestAvi.h"
#include "TestSupport.h"
#include "media/BmpFile.h"
#include "media/FfmpegLog.h"
#include "media/StillNames.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {
QString Data(const char* name)
{
    return QString(TEST_DATA_DIR) + "/" + name;
}

// A 24-bit BMP as the still pictures are written, with a top-left red pixel.
QString WriteStill(const QTemporaryDir& dir, int width, int height)
{
    const std::size_t stride = DibStride(width, 24);
    QByteArray pixels(static_cast<qsizetype>(stride * height), '\x40');
    const std::size_t top = stride * static_cast<std::size_t>(height - 1);
    pixels[static_cast<qsizetype>(top)] = 0;
    pixels[static_cast<qsizetype>(top + 1)] = 0;
    pixels[static_cast<qsizetype>(top + 2)] = '\xFF';
    const auto headers = BmpHeaders(width, height, static_cast<std::uint32_t>(pixels.size()));
    const QString path = dir.path() + "/still.bmp";
    WriteFile(path, QByteArray(reinterpret_cast<const char*>(headers.data()), 54) + pixels);
    return path;
}
} // namespace

TEST(ThumbnailDecoder, ReadsAStillPictureWhole)
{
    QTemporaryDir dir;
    DecodeBuffer buffer;
    ASSERT_TRUE(LoadBitmapFileAsDib(WriteStill(dir, 1280, 1024), buffer));
    const QImage image = DibToImage(buffer);
    ASSERT_EQ(image.size(), QSize(1280, 1024));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(5, 5), qRgb(0x40, 0x40, 0x40));
}

TEST(ThumbnailDecoder, RejectsBadBitmapsWithoutReadingPastThem)
{
    DecodeBuffer buffer;
    EXPECT_FALSE(LoadBitmapFileAsDib(Data("bmp_header_claims_huge_size.bmp"), buffer));
    EXPECT_FALSE(LoadBitmapFileAsDib(Data("bmp_of_exactly_40_bytes.bmp"), buffer));
    EXPECT_FALSE(LoadBitmapFileAsDib(Data("bmp_truncated_rows.bmp"), buffer));
    EXPECT_FALSE(LoadBitmapFileAsDib(Data("no_such_file.bmp"), buffer));
    QTemporaryDir dir;
    WriteFile(dir.path() + "/big.bmp", QByteArray(static_cast<qsizetype>(kDecodeBufferSize) + 100, 'x'));
    EXPECT_FALSE(LoadBitmapFileAsDib(dir.path() + "/big.bmp", buffer));
}

TEST(ThumbnailDecoder, AnEightBitPaletteBitmapIsDrawnInItsColours)
{
    // 3 x 2 pixels, bottom-up rows padded to 4 bytes, a colour table of three entries.
    const QByteArray palette("\x00\x00\xFF\x00"
                             "\x00\xFF\x00\x00"
                             "\xFF\x00\x00\x00",
                             12); // red, green, blue
    const QByteArray pixels("\x00\x01\x02\x00"
                            "\x02\x02\x07\x00",
                            8); // bottom row, top row (7: outside the table)
    std::vector<std::uint8_t> headers = BmpHeaders(3, 2, 8);
    headers[28] = 8;                                  // bits per pixel
    headers[46] = 3;                                  // colours used
    headers[10] = static_cast<std::uint8_t>(54 + 12); // where the pixels start
    QTemporaryDir dir;
    WriteFile(dir.path() + "/palette.bmp",
              QByteArray(reinterpret_cast<const char*>(headers.data()), 54) + palette + pixels);
    DecodeBuffer buffer;
    ASSERT_TRUE(LoadBitmapFileAsDib(dir.path() + "/palette.bmp", buffer));
    const QImage image = DibToImage(buffer);
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(2, 1), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 0));
}

TEST(ThumbnailDecoder, ReadsJpegBottomUpPaddedAndGreyAsGrey)
{
    QTemporaryDir dir;
    QImage colour(641, 20, QImage::Format_RGB32); // 641 * 3 is not a multiple of 4
    colour.fill(qRgb(10, 200, 30));
    for (int y = 0; y < 20; ++y) colour.setPixel(640, y, qRgb(250, 250, 250));
    ASSERT_TRUE(colour.save(dir.path() + "/c.JPG", "JPEG", 100));
    DecodeBuffer buffer;
    ASSERT_EQ(ReadJpegAsDib(dir.path() + "/c.JPG", buffer), 0);
    QImage decoded = DibToImage(buffer);
    ASSERT_EQ(decoded.size(), QSize(641, 20));
    for (int y : {0, 10, 19}) {
        EXPECT_NEAR(qGreen(decoded.pixel(300, y)), 200, 8) << y; // no shear from row padding
        EXPECT_GT(qRed(decoded.pixel(640, y)), 200) << y;
    }

    QImage grey(64, 48, QImage::Format_Grayscale8);
    grey.fill(90);
    ASSERT_TRUE(grey.save(dir.path() + "/g.jpg", "JPEG", 100));
    ASSERT_EQ(ReadJpegAsDib(dir.path() + "/g.jpg", buffer), 0);
    decoded = DibToImage(buffer);
    EXPECT_NEAR(qRed(decoded.pixel(10, 10)), 90, 3);
    EXPECT_EQ(qRed(decoded.pixel(10, 10)), qBlue(decoded.pixel(10, 10)));
}

TEST(ThumbnailDecoder, ReducesAJpegTooLargeForTheBuffer)
{
    QTemporaryDir dir;
    QImage big(2400, 1800, QImage::Format_RGB32);
    big.fill(qRgb(100, 100, 200));
    ASSERT_TRUE(big.save(dir.path() + "/big.jpg", "JPEG", 80));
    DecodeBuffer buffer;
    ASSERT_EQ(ReadJpegAsDib(dir.path() + "/big.jpg", buffer), 0);
    EXPECT_EQ(DibToImage(buffer).size(), QSize(1200, 900));
}

TEST(ThumbnailDecoder, BrokenJpegFilesFailCleanly)
{
    DecodeBuffer buffer;
    EXPECT_NE(ReadJpegAsDib(Data("jpeg_that_is_text.jpg"), buffer), 0);
    EXPECT_NE(ReadJpegAsDib(Data("jpeg_cut_half_way.jpg"), buffer), 0);
    EXPECT_NE(ReadJpegAsDib(Data("no_such_file.jpg"), buffer), 0);
}

TEST(ThumbnailDecoder, TakesTheFirstFrameOfTheFirstVideoStream)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/v.avi";
    ASSERT_TRUE(WriteTestAvi(path, 64, 48, 3, QColor(200, 30, 40), true)); // audio stream first
    DecodeBuffer buffer;
    ASSERT_TRUE(LoadVideoFirstFrameAsDib(path, buffer));
    const QImage frame = DibToImage(buffer);
    ASSERT_EQ(frame.size(), QSize(64, 48));
    EXPECT_EQ(frame.pixel(5, 5), qRgb(200, 30, 40));

    EXPECT_FALSE(LoadVideoFirstFrameAsDib(Data("avi_of_random_bytes.avi"), buffer));
    const QByteArray whole = ReadFile(path);
    WriteFile(dir.path() + "/cut.avi", whole.left(300));
    EXPECT_FALSE(LoadVideoFirstFrameAsDib(dir.path() + "/cut.avi", buffer));
}

TEST(ThumbnailDecoder, FfmpegSaysNothingOnTheTerminal)
{
    QTemporaryDir dir;
    WriteFile(dir.path() + "/odd.avi", QByteArray("RIFF\x10\x00\x00\x00"
                                                  "AVI LIST",
                                                  16) +
                                           QByteArray(2000, '\x01'));
    RouteFfmpegLogToMediaCategory();
    // Whatever FFmpeg has to say about a file like this goes to the silent log category.
    std::fflush(stderr);
    const int saved = dup(2);
    const QString captured = dir.path() + "/stderr.txt";
    const int file = open(QFile::encodeName(captured).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, 2);
    close(file);
    DecodeBuffer buffer;
    EXPECT_FALSE(LoadVideoFirstFrameAsDib(dir.path() + "/odd.avi", buffer));
    EXPECT_FALSE(LoadVideoFirstFrameAsDib(Data("avi_of_random_bytes.avi"), buffer));
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(ReadFile(captured), QByteArray());
}

TEST(ThumbnailDecoder, APlaylistNamedAviOpensNothingElse)
{
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.path() + "/pipe").constData(), 0600), 0);
    WriteFile(dir.path() + "/stream.ts", QByteArray(4096, '\x47'));
    // Playlists that would make a format-guessing reader open another file, or the FIFO
    // (which would block for good).
    WriteFile(dir.path() + "/hls.avi",
              "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + QFile::encodeName(dir.path()) + "/pipe\n");
    WriteFile(dir.path() + "/concat.avi", "ffconcat version 1.0\nfile '" + QFile::encodeName(dir.path()) + "/pipe'\n");
    DecodeBuffer buffer;
    EXPECT_FALSE(LoadVideoFirstFrameAsDib(dir.path() + "/hls.avi", buffer));
    EXPECT_FALSE(LoadVideoFirstFrameAsDib(dir.path() + "/concat.avi", buffer));
    EXPECT_FALSE(LoadVideoFirstFrameAsDib(dir.path() + "/pipe", buffer)); // the FIFO itself
}

TEST(ThumbnailDecoder, AJpegDeclaringAHugePictureIsRefusedBeforeAnythingIsAllocated)
{
    // A small progressive JPEG whose frame header is changed to claim 10000 x 10000.
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QByteArray jpeg;
    {
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "JPEG");
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(small));
    }
    const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC2", 2));
    ASSERT_GT(frame, 0);
    for (const qsizetype at : {frame + 5, frame + 7}) { // height, then width: 10000 = 0x2710
        jpeg[at] = '\x27';
        jpeg[at + 1] = '\x10';
    }
    QTemporaryDir dir;
    WriteFile(dir.path() + "/bomb.jpg", jpeg);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    DecodeBuffer buffer;
    EXPECT_NE(ReadJpegAsDib(dir.path() + "/bomb.jpg", buffer), 0);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024); // kilobytes
}

// Videos written by another program (FFmpeg's own command), at widths that are not a
// multiple of four, in several codecs: the first frame must match FFmpeg's own decoding of it
// to its last column.
TEST(VideoThumbnail, OddSizesMatchFfmpegsOwnDecodingToTheLastColumn)
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "ffmpeg is installed by scripts/setup";
    QTemporaryDir dir;
    const std::vector<std::pair<const char*, const char*>> codecs = {{"mpeg4", "yuv420p"},
                                                                     {"mjpeg", "yuvj422p"},
                                                                     {"libx264", "yuv420p"},
                                                                     {"rawvideo", "bgr24"},
                                                                     {"ffv1", "yuv444p"}};
    for (const QSize size : {QSize(318, 238), QSize(321, 241), QSize(333, 199)}) {
        for (const auto& [codec, pixelFormat] : codecs) {
            SCOPED_TRACE(QString("%1 at %2x%3").arg(codec).arg(size.width()).arg(size.height()).toStdString());
            const QString video = dir.path() + QString("/%1_%2.avi").arg(codec).arg(size.width());
            // Even sizes for codecs whose chroma is halved: the encoder pads what it must.
            QProcess encode;
            encode.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                    QString("testsrc2=size=%1x%2:rate=5").arg(size.width()).arg(size.height()),
                                    "-frames:v", "2", "-c:v", codec, "-pix_fmt", pixelFormat, video});
            ASSERT_TRUE(encode.waitForFinished(30000));
            if (encode.exitCode() != 0) {
                ADD_FAILURE() << encode.readAllStandardError().toStdString();
                continue;
            }
            QProcess decode;
            decode.start("ffmpeg", {"-v", "error", "-i", video, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgr24",
                                    "-sws_flags", "neighbor", "-"});
            ASSERT_TRUE(decode.waitForFinished(30000));
            const QByteArray reference = decode.readAllStandardOutput();

            DecodeBuffer buffer;
            ASSERT_TRUE(LoadVideoFirstFrameAsDib(video, buffer));
            const QImage ours = DibToImage(buffer);
            // A codec with halved chroma may round the size to even numbers; both agree on it.
            EXPECT_LE(std::abs(ours.width() - size.width()), 1);
            ASSERT_EQ(reference.size(), ours.width() * ours.height() * 3);
            const QSize decoded = ours.size();
            // Per column, the mean difference from FFmpeg's picture; the worst column tells.
            double worstColumn = 0;
            for (int x = 0; x < decoded.width(); ++x) {
                double sum = 0;
                for (int y = 0; y < decoded.height(); ++y) {
                    const auto* p = reinterpret_cast<const std::uint8_t*>(reference.constData()) +
                                    (static_cast<std::size_t>(y) * decoded.width() + x) * 3;
                    const QRgb q = ours.pixel(x, y);
                    sum += std::abs(qBlue(q) - p[0]) + std::abs(qGreen(q) - p[1]) + std::abs(qRed(q) - p[2]);
                }
                worstColumn = std::max(worstColumn, sum / (3.0 * decoded.height()));
            }
            EXPECT_LT(worstColumn, 4.0);
        }
    }
}

TEST(ThumbnailDecoder, AStillFillsItsCellAndAWideMosaicKeepsItsShape)
{
    QTemporaryDir dir;
    DecodeBuffer buffer;
    QImage cells(200, 150, QImage::Format_RGB32);
    // A 5:4 still fills a 4:3 cell, as stills always have.
    ASSERT_TRUE(LoadBitmapFileAsDib(WriteStill(dir, 1280, 1024), buffer));
    cells.fill(Qt::white);
    ASSERT_TRUE(StretchDibOnto(buffer, cells, QRect(0, 0, 200, 150)));
    EXPECT_EQ(cells.pixel(100, 1), qRgb(0x40, 0x40, 0x40));
    // A mosaic three times as wide as high: its shape kept, dark above and below.
    ASSERT_TRUE(LoadBitmapFileAsDib(WriteStill(dir, 1200, 400), buffer));
    cells.fill(Qt::white);
    ASSERT_TRUE(StretchDibOnto(buffer, cells, QRect(0, 0, 200, 150)));
    EXPECT_EQ(cells.pixel(100, 2), qRgb(24, 24, 24));
    EXPECT_EQ(cells.pixel(100, 75), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(cells.pixel(100, 147), qRgb(24, 24, 24));
    int top = 0;
    while (top < 150 && cells.pixel(100, top) == qRgb(24, 24, 24)) ++top;
    EXPECT_NEAR(top, (150 - 200 / 3) / 2, 1);
    EXPECT_EQ(cells.pixel(0, top), qRgb(255, 0, 0)); // the picture's top-left pixel at the band's top-left
}
