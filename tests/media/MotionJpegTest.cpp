#include "media/MotionJpeg.h"
#include "media/AviInput.h"
#include "media/AviRepair.h"
#include "media/AviWriter.h"
#include "media/FfmpegHandles.h"
#include "media/PlaybackEngine.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// A picture with detail in every block (gradients and a checker), top-down BGR rows.
std::vector<std::uint8_t> Picture(int width, int height, int seed)
{
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &bgr[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / width);
            p[1] = static_cast<std::uint8_t>(((x / 8 + y / 8 + seed) % 2) ? 200 : 40);
            p[2] = static_cast<std::uint8_t>((y * 255 / height + seed * 30) % 256);
        }
    return bgr;
}

// A frame as a UVC camera sends it: the standard tables left out.
std::vector<std::uint8_t> CameraFrame(int width, int height, int seed)
{
    const std::vector<std::uint8_t> picture = Picture(width, height, seed);
    std::vector<std::uint8_t> jpeg;
    EXPECT_TRUE(EncodeJpeg(picture.data(), width, height, static_cast<std::size_t>(width) * 3, 85, jpeg));
    return WithoutHuffmanTables(jpeg.data(), jpeg.size());
}

// The packets of a recording's video stream, as they are in the file.
std::vector<std::vector<std::uint8_t>> Packets(const QString& path)
{
    std::vector<std::vector<std::uint8_t>> packets;
    const std::unique_ptr<AviInput> input = AviInput::Open(path);
    if (!input) return packets;
    PacketPtr packet(av_packet_alloc());
    while (av_read_frame(input->Format(), packet.get()) >= 0) {
        packets.emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet.get());
    }
    return packets;
}

} // namespace

TEST(MotionJpeg, AFrameWithoutTablesGetsTheStandardOnesAndDecodesToTheSamePicture)
{
    std::vector<std::uint8_t> withTables;
    const std::vector<std::uint8_t> picture = Picture(160, 120, 1);
    ASSERT_TRUE(EncodeJpeg(picture.data(), 160, 120, 480, 85, withTables));
    ASSERT_TRUE(HasHuffmanTables(withTables.data(), withTables.size()));
    const std::vector<std::uint8_t> sent = WithoutHuffmanTables(withTables.data(), withTables.size());
    EXPECT_FALSE(HasHuffmanTables(sent.data(), sent.size()));
    EXPECT_LT(sent.size(), withTables.size());

    std::vector<std::uint8_t> stored;
    ASSERT_TRUE(CompleteMotionJpegFrame(sent.data(), sent.size(), stored));
    EXPECT_TRUE(HasHuffmanTables(stored.data(), stored.size()));
    // Only the tables were added: taken out again, the camera's bytes are back.
    EXPECT_EQ(WithoutHuffmanTables(stored.data(), stored.size()), sent);

    std::vector<std::uint8_t> original, completed;
    int width = 0, height = 0;
    ASSERT_TRUE(DecodeJpeg(withTables.data(), withTables.size(), original, width, height));
    ASSERT_TRUE(DecodeJpeg(stored.data(), stored.size(), completed, width, height));
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    EXPECT_EQ(completed, original);

    // A frame that has its tables is stored byte for byte.
    ASSERT_TRUE(CompleteMotionJpegFrame(withTables.data(), withTables.size(), stored));
    EXPECT_EQ(stored, withTables);
}

TEST(MotionJpeg, FramesThatAreNotWholeAreRefused)
{
    const std::vector<std::uint8_t> frame = CameraFrame(64, 48, 0);
    std::vector<std::uint8_t> stored{1, 2, 3};
    // Cut short on the wire: no end-of-image marker.
    EXPECT_FALSE(CompleteMotionJpegFrame(frame.data(), frame.size() / 2, stored));
    EXPECT_TRUE(stored.empty());
    // No start-of-image marker, no frame at all, and markers that run past the end.
    EXPECT_FALSE(CompleteMotionJpegFrame(frame.data() + 2, frame.size() - 2, stored));
    EXPECT_FALSE(CompleteMotionJpegFrame(nullptr, 0, stored));
    const std::uint8_t runaway[] = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xF0, 0x00, 0x00, 0xFF, 0xD9};
    EXPECT_FALSE(CompleteMotionJpegFrame(runaway, sizeof runaway, stored));
    std::vector<std::uint8_t> decoded;
    int width = 0, height = 0;
    EXPECT_FALSE(DecodeJpeg(frame.data(), frame.size() / 2, decoded, width, height));
}

TEST(MotionJpeg, FrameRatesOfCameraIntervals)
{
    const auto rate = [](std::int64_t interval) {
        const FrameRate r = FrameRateOfInterval(interval, FrameRate(5));
        return std::make_pair(r.numerator, r.denominator);
    };
    EXPECT_EQ(rate(333333), std::make_pair(30, 1));
    EXPECT_EQ(rate(666667), std::make_pair(15, 1));
    EXPECT_EQ(rate(1333333), std::make_pair(15, 2));             // 7.5 frames a second
    EXPECT_EQ(rate(0), std::make_pair(5, 1));                    // the camera does not say
    EXPECT_EQ(rate(1234567), std::make_pair(10000000, 1234567)); // 8.1 frames a second
}

TEST(AviWriter, TheCameraFramesAreStoredAsTheyCameAtTheCameraRate)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/camera.avi";
    auto opened = AviWriter::Open(path, 160, 120, FrameRate(30), CameraMotionJpeg());
    ASSERT_TRUE(opened.writer) << opened.reason.toStdString();
    std::vector<std::vector<std::uint8_t>> stored;
    for (int i = 0; i < 6; ++i) {
        const std::vector<std::uint8_t> sent = CameraFrame(160, 120, i);
        stored.emplace_back();
        ASSERT_TRUE(CompleteMotionJpegFrame(sent.data(), sent.size(), stored.back()));
        ASSERT_TRUE(opened.writer->WriteCompressedFrame(stored.back().data(), stored.back().size()));
    }
    ASSERT_TRUE(opened.writer->RepeatLastFrame()); // a slot the camera missed
    stored.push_back(stored.back());
    // Pixels cannot go into a file of the camera's frames.
    const std::vector<std::uint8_t> pixels(160 * 120 * 3);
    EXPECT_FALSE(opened.writer->WriteFrame(pixels.data(), pixels.size()));
    ASSERT_TRUE(opened.writer->Close());

    const AviFacts facts = ReadAviFacts(path);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.codec, "mjpeg");
    EXPECT_EQ(facts.rateNumerator, 30);
    EXPECT_EQ(facts.rateDenominator, 1);
    EXPECT_EQ(facts.width, 160);
    EXPECT_EQ(facts.height, 120);
    EXPECT_EQ(facts.frames, 7);
    EXPECT_TRUE(facts.allKeyFrames);
    // Byte for byte what was given: nothing decoded, nothing encoded again.
    EXPECT_EQ(Packets(path), stored);
}

// A recording past 4 GB (OpenDML): written from one camera frame of about 1 MB repeated,
// read back by FFmpeg and the program's player, then cut short and repaired. Only when
// asked (QRV_LONG_TESTS=1, as .ci/run does): it writes 4.6 GB and a 2.5 GB repaired copy under
// $HOME, about 7.5 GB at the most.
TEST(AviWriter, ARecordingPastFourGigabytesPlaysAndSurvivesBeingCutShort)
{
    if (!std::getenv("QRV_LONG_TESTS")) GTEST_SKIP() << "set QRV_LONG_TESTS=1 to write 4.6 GB";
    QTemporaryDir dir(QDir::homePath() + "/qrv-long-XXXXXX");
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + "/long.avi";
    // Noise compresses badly: a frame of about 1 MB, as a 1280 x 1024 camera at high quality.
    std::vector<std::uint8_t> noise(1280 * 1024 * 3);
    std::uint32_t state = 1;
    for (auto& byte : noise) byte = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    std::vector<std::uint8_t> frame;
    ASSERT_TRUE(EncodeJpeg(noise.data(), 1280, 1024, 1280 * 3, 75, frame));
    const std::int64_t frames = (4600LL << 20) / static_cast<std::int64_t>(frame.size()) + 1;
    {
        auto opened = AviWriter::Open(path, 1280, 1024, FrameRate(30), CameraMotionJpeg());
        ASSERT_TRUE(opened.writer);
        ASSERT_TRUE(opened.writer->WriteCompressedFrame(frame.data(), frame.size()));
        for (std::int64_t i = 1; i < frames; ++i) ASSERT_TRUE(opened.writer->RepeatLastFrame());
        ASSERT_TRUE(opened.writer->Close());
    }
    EXPECT_GT(QFileInfo(path).size(), 4600LL << 20);
    EXPECT_FALSE(IsCutShortAvi(path));
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                            "stream=codec_name,r_frame_rate,nb_read_packets:format=duration", "-of", "csv=p=0", path});
    ASSERT_TRUE(probe.waitForFinished(600000));
    const QString said = QString::fromUtf8(probe.readAllStandardOutput()).simplified();
    std::printf("ffprobe: %s (%lld frames written)\n", qPrintable(said), static_cast<long long>(frames));
    EXPECT_TRUE(said.startsWith(QStringLiteral("mjpeg,30/1,%1").arg(frames))) << said.toStdString();
    {
        PlaybackEngine player;
        ASSERT_TRUE(player.Open(path, QSize(160, 128)));
        std::printf("player: %.2f s\n", player.Duration());
        EXPECT_NEAR(player.Duration(), static_cast<double>(frames) / 30, 0.1);
    }
    // Cut in the third gigabyte, as a kill would leave it: the RIFF chain says so, and the
    // repair keeps every frame before the cut.
    ASSERT_TRUE(QFile::resize(path, 2500LL << 20));
    EXPECT_TRUE(IsCutShortAvi(path));
    QString error;
    ASSERT_EQ(RepairCutShortAvi(path, &error), AviRepairResult::Repaired) << error.toStdString();
    EXPECT_FALSE(IsCutShortAvi(path));
    const AviFacts repaired = ReadAviFacts(path);
    std::printf("repaired: %lld frames\n", static_cast<long long>(repaired.frames));
    EXPECT_GE(repaired.frames, (2400LL << 20) / static_cast<std::int64_t>(frame.size()));
}
