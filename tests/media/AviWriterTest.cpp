#include "media/AviWriter.h"
#include "TestSupport.h"
#include "media/AviRepair.h"
#include "media/PlaybackEngine.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <vector>

namespace {

std::vector<std::uint8_t> Frame(int width, int height, std::uint8_t shade)
{
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> frame(stride * static_cast<std::size_t>(height), shade);
    frame[0] = 255; // a mark in the bottom-left corner
    return frame;
}

} // namespace

TEST(AviWriter, WritesEveryFrameAsAKeyFrameAtTheNominalRate)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Video_N0001.avi";
    auto opened = AviWriter::Open(path, 64, 48, 5, DefaultVideoEncoder());
    ASSERT_TRUE(opened.writer) << opened.reason.toStdString();
    for (int i = 0; i < 10; ++i) {
        const auto frame = Frame(64, 48, static_cast<std::uint8_t>(i * 20));
        ASSERT_TRUE(opened.writer->WriteFrame(frame.data(), frame.size()));
    }
    EXPECT_TRUE(opened.writer->Close());
    const AviFacts facts = ReadAviFacts(path);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.codec, "msvideo1");
    EXPECT_EQ(facts.rateNumerator, 5);
    EXPECT_EQ(facts.rateDenominator, 1);
    EXPECT_EQ(facts.width, 64);
    EXPECT_EQ(facts.height, 48);
    EXPECT_EQ(facts.frames, 10);
    EXPECT_TRUE(facts.allKeyFrames);
}

TEST(AviWriter, EveryOfferedEncoderRecordsAFileThatPlays)
{
    const std::vector<VideoEncoderChoice> encoders = AviVideoEncoders(320, 240);
    std::vector<std::string> names;
    for (const auto& encoder : encoders) names.push_back(encoder.encoder);
    for (const char* required : {"msvideo1", "mjpeg", "ffv1", "huffyuv", "mpeg4"})
        EXPECT_NE(std::find(names.begin(), names.end(), required), names.end()) << required;
    EXPECT_EQ(names.front(), "msvideo1");
    QTemporaryDir dir;
    for (const auto& encoder : encoders) {
        const QString path = dir.path() + "/" + QString::fromStdString(encoder.encoder) + ".avi";
        auto opened = AviWriter::Open(path, 320, 240, 15, encoder);
        ASSERT_TRUE(opened.writer) << encoder.encoder << ": " << opened.reason.toStdString();
        for (int i = 0; i < 3; ++i) {
            const auto frame = Frame(320, 240, static_cast<std::uint8_t>(40 * i));
            ASSERT_TRUE(opened.writer->WriteFrame(frame.data(), frame.size())) << encoder.encoder;
        }
        opened.writer.reset(); // the destructor finishes the file too
        const AviFacts facts = ReadAviFacts(path);
        EXPECT_EQ(facts.frames, 3) << encoder.encoder;
        EXPECT_TRUE(facts.allKeyFrames) << encoder.encoder;
        EXPECT_EQ(facts.rateNumerator, 15) << encoder.encoder;
    }
}

TEST(AviWriter, EveryFrameOfAStillSceneStandsAloneSoSeekingShowsItWhole)
{
    // A grey scene with a small white mark moving along its top: most of each frame is what
    // the frame before showed, which an encoder could leave out.
    QTemporaryDir dir;
    for (const VideoEncoderChoice& encoder : AviVideoEncoders(64, 48)) {
        const QString path = dir.path() + "/" + QString::fromStdString(encoder.encoder) + ".avi";
        auto opened = AviWriter::Open(path, 64, 48, 5, encoder);
        ASSERT_TRUE(opened.writer) << encoder.encoder << ": " << opened.reason.toStdString();
        for (int i = 0; i < 40; ++i) {
            std::vector<std::uint8_t> frame = Frame(64, 48, 150);
            const std::size_t stride = frame.size() / 48;
            for (int y = 0; y < 4; ++y) std::fill_n(frame.begin() + y * stride + i * 3, 12, std::uint8_t{255});
            ASSERT_TRUE(opened.writer->WriteFrame(frame.data(), frame.size()));
        }
        ASSERT_TRUE(opened.writer->Close());

        // Seeking to the 33rd frame decodes it alone: the grey is there, not left black.
        PlaybackEngine player;
        ASSERT_TRUE(player.Open(path, QSize(64, 48))) << encoder.encoder;
        player.SetPosition(32 / 5.0);
        ASSERT_TRUE(WaitUntil([&] { return !player.CurrentFrame().isNull(); }, 5000)) << encoder.encoder;
        const QImage shown = player.CurrentFrame();
        int dark = 0;
        for (int y = 8; y < 48; y += 4)
            for (int x = 0; x < 64; x += 4) dark += qGray(shown.pixel(x, y)) < 100;
        EXPECT_EQ(dark, 0) << encoder.encoder << ": blocks missing from a frame seeking started at";
    }
}

TEST(AviWriter, AFolderThatCannotBeWrittenFailsAtTheFirstStep)
{
    auto opened = AviWriter::Open("/nonexistent-folder/x.avi", 64, 48, 5, DefaultVideoEncoder());
    EXPECT_FALSE(opened.writer);
    EXPECT_EQ(opened.failedStep, AviWriter::OpenStep::OpenFile);
    EXPECT_FALSE(opened.reason.isEmpty());
}

TEST(AviWriter, AFrameOfAnotherSizeIsRefusedWithItsReason)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/sized.avi";
    auto opened = AviWriter::Open(path, 64, 48, 5, DefaultVideoEncoder());
    ASSERT_TRUE(opened.writer) << opened.reason.toStdString();
    const auto larger = Frame(128, 96, 40), smaller = Frame(32, 24, 40), right = Frame(64, 48, 40);
    ASSERT_TRUE(opened.writer->WriteFrame(right.data(), right.size()));
    // Larger frames were written sheared, smaller ones refused without a word.
    EXPECT_FALSE(opened.writer->WriteFrame(larger.data(), larger.size()));
    EXPECT_TRUE(opened.writer->LastError().contains("64 x 48"));
    EXPECT_FALSE(opened.writer->WriteFrame(smaller.data(), smaller.size()));
    EXPECT_FALSE(opened.writer->LastError().isEmpty());
    EXPECT_TRUE(opened.writer->Close());
    EXPECT_EQ(ReadAviFacts(path).frames, 1);
}

// A kill while a frame was being written leaves its chunk's header with the whole size and
// only part of its bytes. The repair keeps the frames before it and drops that one, so
// FFmpeg decodes the repaired file without a word; where the copy cannot be written (a full
// disk), the recording stays as it was and the reason comes back.
TEST(AviRepair, TheFrameCutInHalfIsDroppedAndAFullDiskLeavesTheRecordingAsItWas)
{
    QTemporaryDir dir;
    for (const bool msvc : {true, false}) {
        const QString path = dir.path() + (msvc ? "/msvc.avi" : "/mjpeg.avi");
        VideoEncoderChoice mjpeg;
        mjpeg.handler = "MJPG";
        mjpeg.encoder = "mjpeg";
        auto opened = AviWriter::Open(path, 64, 48, 5, msvc ? DefaultVideoEncoder() : mjpeg);
        ASSERT_TRUE(opened.writer) << opened.reason.toStdString();
        for (int i = 0; i < 10; ++i) {
            std::vector<std::uint8_t> frame = Frame(64, 48, static_cast<std::uint8_t>(i * 20));
            for (std::size_t b = 0; b < frame.size(); ++b)
                frame[b] = static_cast<std::uint8_t>(frame[b] + (b * 7919u) % 61);
            ASSERT_TRUE(opened.writer->WriteFrame(frame.data(), frame.size()));
        }
        ASSERT_TRUE(opened.writer->Close());
        // Cut in the middle of the last frame's chunk: before it, the index's "idx1" and the
        // last chunk header ("00dc") stand.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        const qsizetype index = bytes.lastIndexOf("idx1");
        const qsizetype lastChunk = bytes.lastIndexOf("00dc", index);
        ASSERT_GT(lastChunk, 0);
        ASSERT_TRUE(QFile::resize(path, lastChunk + 8 + (index - lastChunk - 8) / 2));
        ASSERT_TRUE(IsCutShortAvi(path));
        const QByteArray cut = ReadFile(path);

        // A full disk: the copy cannot be written; the reason, and the file untouched.
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit tiny = old;
        tiny.rlim_cur = 4096;
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &tiny);
        QString error;
        const AviRepairResult full = RepairCutShortAvi(path, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(full, AviRepairResult::Failed);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(ReadFile(path), cut);
        EXPECT_EQ(QDir(dir.path()).entryList({"*.repair*"}, QDir::Files).size(), 0)
            << QDir(dir.path()).entryList().join(" ").toStdString() << error.toStdString();

        ASSERT_EQ(RepairCutShortAvi(path, &error), AviRepairResult::Repaired) << error.toStdString();
        EXPECT_EQ(ReadAviFacts(path).frames, 9) << (msvc ? "msvc" : "mjpeg");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
        ASSERT_TRUE(ffmpeg.waitForFinished(60000));
        EXPECT_EQ(ffmpeg.readAllStandardError(), QByteArray()) << (msvc ? "msvc" : "mjpeg");
    }
}

// A 1280 x 1024 recording in a player area of 589 x 410 keeps its shape (1.25:1), with bars.
TEST(PlaybackEngine, APictureKeepsItsShapeInAnAreaOfAnotherShape)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/wide.avi";
    auto opened = AviWriter::Open(path, 1280, 1024, 5, DefaultVideoEncoder());
    ASSERT_TRUE(opened.writer);
    const auto frame = Frame(1280, 1024, 90);
    ASSERT_TRUE(opened.writer->WriteFrame(frame.data(), frame.size()));
    ASSERT_TRUE(opened.writer->Close());
    PlaybackEngine player;
    ASSERT_TRUE(player.Open(path, QSize(589, 410)));
    ASSERT_TRUE(WaitUntil([&] { return !player.CurrentFrame().isNull(); }, 5000));
    const QSize shown = player.CurrentFrame().size();
    EXPECT_EQ(shown.height(), 410);
    EXPECT_NEAR(static_cast<double>(shown.width()) / shown.height(), 1280.0 / 1024, 0.01);
}
