#include "TestSupport.h"
#include "app/recording/AviRecording.h"
#include "app/recording/CompressorChoice.h"
#include "app/recording/RecorderSettingsDlg.h"
#include "capture/CaptureGraph.h"
#include "capture/backend/SimulatedBackend.h"
#include "framework/FieldExchange.h"
#include "media/AviWriter.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include "browser/ThumbnailList.h"
#include "media/AviInput.h"
#include "media/AviRepair.h"
#include "media/MotionJpeg.h"
#include "media/PlaybackEngine.h"
#include <QListWidget>

extern "C" {
#include <libavformat/avformat.h>
}

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>

namespace {

// A dialog whose OK is pressed with the given texts; true when it closed with OK.
bool PressOk(CRecorderSettingsDlg& dialog, const QString& rate, const QString& seconds)
{
    dialog.FrameRateBox().setText(rate);
    dialog.SecondsBox().setText(seconds);
    dialog.OkButton().click();
    return dialog.result() == QDialog::Accepted;
}

} // namespace

TEST(RecorderSettings, BoundsAreCheckedOnOk)
{
    MessageBoxRecorder boxes;
    bool chosen = false;
    int defaults = 0;
    for (const auto& [rate, seconds] :
         std::vector<std::pair<QString, QString>>{{"0", "10"}, {"31", "10"}, {"15", "0"}, {"15", "100000"}}) {
        CRecorderSettingsDlg dialog(chosen, {}, [&] { ++defaults; });
        dialog.show();
        EXPECT_FALSE(PressOk(dialog, rate, seconds)) << rate.toStdString() << " " << seconds.toStdString();
    }
    EXPECT_EQ(boxes.Boxes().size(), 4u);
    EXPECT_EQ(boxes.Boxes()[0].text, FieldExchange::RangeMessage(1, 30));
    EXPECT_EQ(boxes.Boxes()[3].text, FieldExchange::RangeMessage(1, 99999));

    CRecorderSettingsDlg dialog(chosen, {}, [&] { ++defaults; });
    dialog.show();
    EXPECT_EQ(dialog.FrameRateBox().text(), "15"); // the defaults, every time
    EXPECT_EQ(dialog.SecondsBox().text(), "10");
    EXPECT_TRUE(dialog.LimitBox().isChecked());
    dialog.LimitBox().click();
    EXPECT_FALSE(dialog.SecondsBox().isEnabled());
    EXPECT_TRUE(PressOk(dialog, "30", "10"));
    EXPECT_EQ(dialog.frameRate, 30);
    EXPECT_FALSE(dialog.timeLimitOn);
}

TEST(RecorderSettings, TheCompressorChoiceHoldsForOneOk)
{
    QTemporaryDir videos;
    const QSize size(320, 240);
    CompressionOptions options;
    bool chosen = false;
    const CompressorChoiceHook previous = SetCompressorChoiceHook([](const std::vector<VideoEncoderChoice>& offered) {
        for (const auto& encoder : offered)
            if (encoder.encoder == "mjpeg") return std::optional<VideoEncoderChoice>(encoder);
        return std::optional<VideoEncoderChoice>();
    });
    auto dialog = [&] {
        return std::make_unique<CRecorderSettingsDlg>(
            chosen, [&] { ChooseCompressor(options, {size}, nullptr); }, [&] { SetDefaultCompressor(options, size); });
    };
    {
        auto d = dialog(); // OK alone: Microsoft Video 1
        d->show();
        ASSERT_TRUE(PressOk(*d, "15", "10"));
        EXPECT_EQ(options.encoder.encoder, "msvideo1");
    }
    {
        auto d = dialog(); // Compress, then OK: the choice
        d->show();
        d->CompressButton().click();
        ASSERT_TRUE(PressOk(*d, "15", "10"));
        EXPECT_EQ(options.encoder.encoder, "mjpeg");
        EXPECT_EQ(std::string(options.handler.begin(), options.handler.end()), "MJPG");
    }
    {
        auto d = dialog(); // the next OK without Compress: back to the basic one
        d->show();
        ASSERT_TRUE(PressOk(*d, "15", "10"));
        EXPECT_EQ(options.encoder.encoder, "msvideo1");
    }
    {
        auto d = dialog(); // Compress, a rate out of range (a message, the dialog stays), OK again: the choice
        d->show();
        d->CompressButton().click();
        MessageBoxRecorder boxes;
        EXPECT_FALSE(PressOk(*d, "45", "10"));
        EXPECT_EQ(boxes.Boxes().size(), 1u);
        ASSERT_TRUE(PressOk(*d, "15", "10"));
        EXPECT_EQ(options.encoder.encoder, "mjpeg");
    }
    {
        auto d = dialog(); // Compress and Cancel: the choice stays for the next dialog's OK
        d->show();
        d->CompressButton().click();
        d->reject();
    }
    {
        auto d = dialog();
        d->show();
        ASSERT_TRUE(PressOk(*d, "15", "10"));
        EXPECT_EQ(options.encoder.encoder, "mjpeg");
    }
    SetCompressorChoiceHook(previous);
}

namespace {

class RecordingTest : public ::testing::Test {
protected:
    void StartEngine(int width, int height, int framesPerSecond)
    {
        engine_ = std::make_unique<CCaptureGraph>(backend_, dir_.path() + "/CapConfig.dat");
        engine_->resize(320, 240);
        ASSERT_TRUE(engine_->RefreshDeviceList() && engine_->BuildGraph() && engine_->ConnectPreview());
        engine_->SetResolution(width, height);
        engine_->StopPreview();
        engine_->SetPreviewFrameRate(framesPerSecond);
        ASSERT_TRUE(engine_->StartPreview());
    }
    QTemporaryDir dir_;
    backend::SimulatedBackend backend_;
    std::unique_ptr<CCaptureGraph> engine_;
};

} // namespace

TEST_F(RecordingTest, AFilePlaysAsLongAsItWasRecordedWhateverTheCameraDelivers)
{
    for (const int cameraRate : {30, 15, 5}) {
        StartEngine(640, 480, cameraRate);
        CAviRecording recording(*engine_);
        const QString path = dir_.path() + QString("/rate%1.avi").arg(cameraRate);
        QElapsedTimer clock;
        clock.start();
        ASSERT_EQ(recording.Open(path, 15, DefaultVideoEncoder()).failedStep, AviWriter::OpenStep::None);
        QTest::qWait(3000);
        const double seconds = clock.elapsed() / 1000.0;
        ASSERT_TRUE(recording.Close());
        const AviFacts facts = ReadAviFacts(path);
        ASSERT_TRUE(facts.readable);
        EXPECT_EQ(facts.rateNumerator, 15);
        EXPECT_TRUE(facts.allKeyFrames);
        // The first frame comes up to one camera period after the start (and a moment more
        // on a loaded machine); after that, one frame either way.
        const double played = static_cast<double>(facts.frames) / 15.0;
        EXPECT_LE(played, seconds + 1.0 / 15) << "camera at " << cameraRate;
        EXPECT_GE(played, seconds - 1.0 / 15 - 1.0 / cameraRate - 0.25) << "camera at " << cameraRate;
        engine_.reset();
    }
}

TEST_F(RecordingTest, FramesAfterTheCloseAreDroppedAndAUnpluggedCameraLeavesAFileThatPlays)
{
    StartEngine(320, 240, 15);
    CAviRecording recording(*engine_);
    const QString path = dir_.path() + "/unplugged.avi";
    ASSERT_EQ(recording.Open(path, 22, DefaultVideoEncoder()).failedStep, AviWriter::OpenStep::None);
    QTest::qWait(1000);
    backend_.Microscope()->SetPlugged(false); // no more frames
    QTest::qWait(300);
    recording.Close();
    QTest::qWait(200); // the stream may still be running: nothing reaches the closed file
    const AviFacts facts = ReadAviFacts(path);
    EXPECT_TRUE(facts.readable);
    EXPECT_GE(facts.frames, 15);
    EXPECT_EQ(facts.rateNumerator, 22);
    EXPECT_FALSE(recording.IsOpen());
}

TEST_F(RecordingTest, AWriteErrorEndsTheRecordingAndTheFileKeepsWhatWasWritten)
{
    StartEngine(320, 240, 15);
    CAviRecording recording(*engine_);
    QString failure;
    QObject::connect(&recording, &CAviRecording::WriteFailed, [&](const QString& reason) { failure = reason; });
    const QString path = dir_.path() + "/full.avi";
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 600 * 1024; // a disk that fills up after a few seconds of frames
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    ASSERT_EQ(
        recording
            .Open(path, 22, CompressionOptions::From(VideoEncoderChoice{"DIB ", "rawvideo", "", false, -1}).encoder)
            .failedStep,
        AviWriter::OpenStep::None);
    const bool failed = WaitUntil([&] { return !failure.isEmpty(); }, 8000);
    recording.Close();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(failed);
    const AviFacts facts = ReadAviFacts(path);
    EXPECT_TRUE(facts.readable);
    EXPECT_GE(facts.frames, 1);
}

TEST(RecorderSettings, TheCameraMotionJpegComesFirstAndTheDialogSaysWhatItLeavesOut)
{
    const std::vector<VideoEncoderChoice> offered = CompressorsFor({QSize(320, 240), true, true});
    ASSERT_GE(offered.size(), 2u);
    EXPECT_TRUE(offered[0].passthrough);
    EXPECT_EQ(offered[1].encoder, "msvideo1");
    EXPECT_FALSE(CompressorsFor({QSize(320, 240), false, true}).front().passthrough); // the camera sends pixels

    CCompressorChoiceDlg corrected(offered, true);
    EXPECT_EQ(corrected.List().currentRow(), 0); // preselected
    EXPECT_EQ(corrected.List().item(0)->text(), QStringLiteral("Camera's Motion JPEG (no re-encoding)"));
    EXPECT_TRUE(corrected.Note().contains(QStringLiteral("flat-field correction is not applied")));
    ASSERT_TRUE(corrected.Chosen() && corrected.Chosen()->passthrough);
    corrected.List().setCurrentRow(1); // an encoder takes the corrected frames: nothing to say
    EXPECT_TRUE(corrected.Note().isEmpty());
    CCompressorChoiceDlg uncorrected(offered, false);
    EXPECT_TRUE(uncorrected.Note().isEmpty());
}

TEST_F(RecordingTest, TheCameraMotionJpegIsStoredAtItsOwnRateAndEveryFrameDecodes)
{
    backend_.Microscope()->SetMotionJpeg(true);
    StartEngine(640, 480, 30);
    ASSERT_TRUE(engine_->DeliversMotionJpeg());
    const FrameRate rate = FrameRateOfInterval(engine_->CameraFrameInterval(), 5);
    EXPECT_EQ(rate.numerator, 30);
    EXPECT_EQ(rate.denominator, 1);
    CAviRecording recording(*engine_);
    const QString path = dir_.path() + "/camera.avi";
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(recording.Open(path, rate, CameraMotionJpeg()).failedStep, AviWriter::OpenStep::None);
    QTest::qWait(2000);
    const double seconds = clock.elapsed() / 1000.0;
    ASSERT_TRUE(recording.Close());
    EXPECT_LE(recording.FramesDropped(), 2);

    const AviFacts facts = ReadAviFacts(path);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.codec, "mjpeg");
    EXPECT_EQ(facts.rateNumerator, 30);
    EXPECT_EQ(facts.width, 640);
    EXPECT_EQ(facts.height, 480);
    const double played = static_cast<double>(facts.frames) / 30.0;
    EXPECT_LE(played, seconds + 1.0 / 30);
    EXPECT_GE(played, seconds - 2.0 / 30 - 0.25);
    // Every stored frame carries its tables and decodes with plain libjpeg and with FFmpeg.
    const std::unique_ptr<AviInput> input = AviInput::Open(path);
    ASSERT_TRUE(input);
    AVPacket* packet = av_packet_alloc();
    int packets = 0;
    while (av_read_frame(input->Format(), packet) >= 0) {
        ++packets;
        EXPECT_TRUE(HasHuffmanTables(packet->data, static_cast<std::size_t>(packet->size)));
        std::vector<std::uint8_t> pixels;
        int width = 0, height = 0;
        EXPECT_TRUE(DecodeJpeg(packet->data, static_cast<std::size_t>(packet->size), pixels, width, height));
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    EXPECT_EQ(packets, facts.frames);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    EXPECT_EQ(ffmpeg.exitCode(), 0);
    EXPECT_TRUE(ffmpeg.readAllStandardError().isEmpty());
}

TEST_F(RecordingTest, FramesWithoutTheCameraBytesAreCountedDroppedNotWritten)
{
    StartEngine(320, 240, 15); // the camera sends pixels
    ASSERT_FALSE(engine_->DeliversMotionJpeg());
    CAviRecording recording(*engine_);
    const QString path = dir_.path() + "/none.avi";
    ASSERT_EQ(recording.Open(path, 15, CameraMotionJpeg()).failedStep, AviWriter::OpenStep::None);
    QTest::qWait(700);
    recording.Close();
    EXPECT_EQ(recording.FramesWritten(), 0);
    EXPECT_GE(recording.FramesDropped(), 3);
}

TEST(RecordingCutShort, AKilledRecordingPlaysUpToItsLastSecond)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/killed.avi";
    QProcess probe;
    probe.start(RECORDING_PROBE_PATH, {path});
    ASSERT_TRUE(WaitUntil(
        [&] {
            probe.waitForReadyRead(10);
            return probe.readAllStandardOutput().contains("recording");
        },
        10000));
    QTest::qWait(3000);
    probe.kill(); // SIGKILL: no trailer, no index
    probe.waitForFinished();
    const AviFacts facts = ReadAviFacts(path);
    EXPECT_TRUE(facts.readable);
    EXPECT_GE(facts.frames, 2 * 22); // everything up to the last flush, a second before the end

    // The program's player reads its length from the packets and plays it to the end.
    ASSERT_TRUE(IsCutShortAvi(path));
    {
        PlaybackEngine player;
        ASSERT_TRUE(player.Open(path, QSize(160, 120)));
        EXPECT_GE(player.Duration(), 2.0);
    }
    // Met in the video list, it is repaired in place: whole, indexed, every whole frame kept
    // (a frame the kill cut in half is dropped), and FFmpeg decodes it without a word.
    QDir().mkpath(dir.path() + "/Picture");
    CThumbnailList list(dir.path() + "/Picture", dir.path());
    list.SetShowingPictures(false);
    list.resize(220, 420);
    list.show();
    QCoreApplication::processEvents();
    list.repaint();
    EXPECT_FALSE(IsCutShortAvi(path));
    EXPECT_FALSE(QFile::exists(path + ".repair"));
    EXPECT_GE(ReadAviFacts(path).frames, facts.frames - 1);
    EXPECT_LE(ReadAviFacts(path).frames, facts.frames);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    EXPECT_EQ(ffmpeg.readAllStandardError(), QByteArray());
    const std::unique_ptr<AviInput> repaired = AviInput::Open(path);
    ASSERT_TRUE(repaired);
    ASSERT_GE(avformat_find_stream_info(repaired->Format(), nullptr), 0);
    EXPECT_GE(repaired->Format()->duration, 2 * AV_TIME_BASE);
}
