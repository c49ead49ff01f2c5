#include "TestAvi.h"
#include "TestSupport.h"
#include "media/AviWriter.h"
#include "player/VideoPlayerDlg.h"
#include "widgets/BitmapButton.h"

#include <QElapsedTimer>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A video of `frames` frames at `rate` a second whose frame i is uniformly grey with level i.
QString WriteCountingVideo(const QTemporaryDir& dir, int frames, int rate)
{
    const QString path = dir.path() + "/counting.avi";
    auto opened = AviWriter::Open(path, 64, 48, rate, VideoEncoderChoice{"DIB ", "rawvideo", "", false, -1});
    EXPECT_TRUE(opened.writer);
    for (int i = 0; i < frames; ++i) {
        std::vector<std::uint8_t> frame(64 * 48 * 3, static_cast<std::uint8_t>(i));
        opened.writer->WriteFrame(frame.data(), frame.size());
    }
    opened.writer->Close();
    return path;
}

int ShownLevel(const CVideoPlayerDlg& player)
{
    const QImage frame = player.Engine().CurrentFrame();
    return frame.isNull() ? -1 : qGray(frame.pixel(frame.width() / 2, frame.height() / 2));
}

} // namespace

TEST(VideoPlayer, SliderSeekButtonsAndTheEndFollowThePlayersRules)
{
    QTemporaryDir dir;
    const QString path = WriteCountingVideo(dir, 147, 20); // 7.35 seconds
    CVideoPlayerDlg player(path, [] { return true; });
    player.show();
    EXPECT_EQ(player.Slider().maximum(), 73);
    EXPECT_EQ(player.Slider().pageStep(), 10);
    EXPECT_FALSE(player.PauseButton().isVisible());
    EXPECT_TRUE(WaitUntil([&] { return ShownLevel(player) == 0; })); // the first frame, paused

    // Seeking while paused shows the frame at the new position.
    player.OnPlay();
    player.OnPlay(); // paused by Play
    ASSERT_EQ(player.Engine().GetState(), PlaybackEngine::State::Paused);
    player.PlayButton().Latch(); // as after a click on Play that is still pressed
    player.OnForward();
    EXPECT_TRUE(player.PauseButton().IsLatched());
    EXPECT_TRUE(WaitUntil([&] { return std::abs(ShownLevel(player) - 40) <= 1; }, 3000)) << ShownLevel(player);

    // Back at 1.5 s lands on 0; forward in the last two seconds lands on the end.
    const_cast<PlaybackEngine&>(player.Engine()).SetPosition(1.5);
    player.OnBackward();
    EXPECT_DOUBLE_EQ(player.Engine().Position(), 0.0);
    const_cast<PlaybackEngine&>(player.Engine()).SetPosition(6.5);
    player.OnForward();
    EXPECT_DOUBLE_EQ(player.Engine().Position(), 7.35);
    EXPECT_TRUE(WaitUntil([&] { return ShownLevel(player) == 146; }, 3000)) << ShownLevel(player); // the last frame

    // To the end while paused stays paused.
    player.OnLast();
    EXPECT_EQ(player.Engine().GetState(), PlaybackEngine::State::Paused);

    // Playing to the end comes back to the first frame with Play released.
    player.OnStop();
    const_cast<PlaybackEngine&>(player.Engine()).SetPosition(6.8);
    player.OnPlay();
    ASSERT_TRUE(player.PlayButton().IsLatched());
    ASSERT_TRUE(WaitUntil([&] { return !player.PlayButton().IsLatched(); }, 3000));
    EXPECT_EQ(player.Slider().value(), 0);
    EXPECT_TRUE(WaitUntil([&] { return ShownLevel(player) == 0; }, 3000));
    EXPECT_FALSE(player.IsPositionTimerOn());
}

TEST(VideoPlayer, PlaysAtTheFilesOwnSpeed)
{
    QTemporaryDir dir;
    const QString path = WriteCountingVideo(dir, 40, 20); // 2 seconds
    CVideoPlayerDlg player(path, [] { return true; });
    player.show();
    QElapsedTimer clock;
    player.OnPlay();
    clock.start();
    ASSERT_TRUE(WaitUntil([&] { return !player.PlayButton().IsLatched(); }, 5000));
    EXPECT_NEAR(clock.elapsed() / 1000.0, 2.0, 0.3);
}

TEST(VideoPlayer, FilesThatCannotBeOpenedLeaveEveryButtonWithoutEffect)
{
    QTemporaryDir dir;
    WriteFile(dir.path() + "/empty.avi", QByteArray());
    WriteFile(dir.path() + "/text.avi", "not a video at all");
    const QString whole = WriteCountingVideo(dir, 40, 20);
    const QByteArray bytes = ReadFile(whole);
    WriteFile(dir.path() + "/header-only.avi", bytes.left(200));
    WriteFile(dir.path() + "/cut.avi", bytes.left(bytes.size() / 2)); // cut in the middle
    for (const char* name : {"empty.avi", "text.avi", "header-only.avi", "missing.avi"}) {
        CVideoPlayerDlg player(dir.path() + "/" + name, [] { return true; });
        player.show();
        EXPECT_EQ(player.Slider().maximum(), 0) << name;
        player.OnPlay();
        player.OnForward();
        player.OnLast();
        EXPECT_FALSE(player.PlayButton().IsLatched()) << name;
    }
    // Cut in the middle: it plays what is complete.
    CVideoPlayerDlg cut(dir.path() + "/cut.avi", [] { return true; });
    cut.show();
    cut.OnPlay();
    EXPECT_TRUE(WaitUntil([&] { return ShownLevel(cut) >= 10; }, 3000));
}

TEST(VideoPlayer, ClosingWhilePlayingEndsTheDecoder)
{
    QTemporaryDir dir;
    const QString path = WriteCountingVideo(dir, 147, 20);
    auto player = std::make_unique<CVideoPlayerDlg>(path, [] { return true; });
    player->show();
    player->OnPlay();
    QTest::qWait(200);
    QElapsedTimer clock;
    clock.start();
    player.reset(); // joins the decoding thread
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(VideoPlayer, PlaysOtherCodecsAndIgnoresAnAudioStream)
{
    QTemporaryDir dir;
    QStringList files;
    for (const VideoEncoderChoice& encoder : AviVideoEncoders(64, 48)) {
        if (encoder.encoder != "mjpeg" && encoder.encoder != "mpeg4" && encoder.encoder != "libx264") continue;
        const QString path = dir.path() + "/" + QString::fromStdString(encoder.encoder) + ".avi";
        auto opened = AviWriter::Open(path, 64, 48, 10, encoder);
        ASSERT_TRUE(opened.writer) << encoder.encoder;
        for (int i = 0; i < 10; ++i) {
            std::vector<std::uint8_t> frame(64 * 48 * 3, 200);
            opened.writer->WriteFrame(frame.data(), frame.size());
        }
        opened.writer.reset();
        files << path;
    }
    const QString withAudio = dir.path() + "/audio-first.avi";
    ASSERT_TRUE(WriteTestAvi(withAudio, 64, 48, 5, QColor(30, 200, 40), true));
    files << withAudio;
    for (const QString& path : files) {
        CVideoPlayerDlg player(path, [] { return true; });
        player.show();
        EXPECT_GT(player.Slider().maximum(), 0) << path.toStdString();
        EXPECT_TRUE(WaitUntil([&] { return ShownLevel(player) > 0; }, 3000)) << path.toStdString();
    }
}
