#include "app/stills/StillPicture.h"
#include "TestSupport.h"
#include "app/ProgramPaths.h"
#include "capture/FrameDelivery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/resource.h>

namespace {

// Puts a frame of `width` x `height` with a known pattern into `held`.
void HoldFrame(HeldFrame& held, int width, int height)
{
    auto frame = std::make_shared<Frame>();
    frame->width = width;
    frame->height = height;
    frame->stride = Frame::StrideOf(width);
    frame->pixels.resize(frame->Bytes());
    for (std::size_t i = 0; i < frame->pixels.size(); ++i) frame->pixels[i] = static_cast<std::uint8_t>(i * 31 % 251);
    held.Set(frame);
}

const Frame& Held(const HeldFrame& held)
{
    return *held.Get();
}

} // namespace

TEST(RunningNumber, ReadsTheNumberAfterTheLastCapitalN)
{
    EXPECT_EQ(RunningNumberOfName("Still_2009-05-14_101010_N0012.bmp"), 12);
    EXPECT_EQ(RunningNumberOfName("Nice.bmp"), 0);
    EXPECT_EQ(RunningNumberOfName("photo.bmp"), -1);
    EXPECT_EQ(RunningNumberOfName("A_N12x.bmp"), 12);
    EXPECT_EQ(RunningNumberOfName("Still_N10000.bmp"), 10000);
    EXPECT_EQ(RunningNumberOfName("N" + QString(5000, '7') + ".bmp") > 0, true); // a long tail does no harm
}

TEST(RunningNumber, IsOneMoreThanTheLargestInTheFolder)
{
    QTemporaryDir dir;
    int directories = 0;
    EXPECT_EQ(NextRunningNumber(dir.path(), [&] { ++directories; }), 1);
    WriteFile(dir.path() + "/Still_2009-05-14_101010_N0012.bmp", "x");
    WriteFile(dir.path() + "/Still_2009-05-14_101011_200X_N0003.bmp", "x");
    WriteFile(dir.path() + "/Still_2009-05-14_101012_N0099.avi", "x"); // other extension: ignored
    EXPECT_EQ(NextRunningNumber(dir.path(), [&] { ++directories; }), 13);
    QDir(dir.path()).mkdir("Folder_N0050.bmp");
    EXPECT_EQ(NextRunningNumber(dir.path(), [&] { ++directories; }), 13);
    EXPECT_EQ(directories, 1);
}

TEST(StillPictureName, CarriesTheMagnificationOnlyWhenSet)
{
    const QDateTime time(QDate(2009, 5, 14), QTime(15, 30, 45));
    EXPECT_EQ(StillPictureName(time, 0, 7), "Still_2009-05-14_153045_N0007.bmp");
    EXPECT_EQ(StillPictureName(time, 200, 8), "Still_2009-05-14_153045_200X_N0008.bmp");
    EXPECT_EQ(StillPictureName(time, 5, 1), "Still_2009-05-14_153045_005X_N0001.bmp");
    EXPECT_EQ(StillPictureName(time, -12, 1), "Still_2009-05-14_153045_-12X_N0001.bmp");
    EXPECT_EQ(StillPictureName(time, 0, 10000), "Still_2009-05-14_153045_N10000.bmp");
}

TEST(SaveStillPicture, WritesTheHeadersAndTheFrameRowsAndServesARequestOnce)
{
    QTemporaryDir dir;
    HeldFrame held;
    StillTrigger stills;
    HoldFrame(held, 1280, 1024);
    stills.Request(StillSource::Keyboard);
    const QDateTime time(QDate(2026, 1, 2), QTime(3, 4, 5));
    const StillSaveResult saved = SaveStillPicture(held, stills, dir.path(), 0, time, {});
    ASSERT_EQ(saved.outcome, StillSaveResult::Saved);
    EXPECT_FALSE(stills.Pending());
    const QByteArray bytes = ReadFile(saved.path);
    ASSERT_EQ(bytes.size(), 3932214);
    const std::vector<std::uint8_t> headers = BmpHeaders(1280, 1024, 3932160);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(headers.data()), 54), bytes.left(54));
    EXPECT_EQ(bytes.left(2), "BM");
    // The frame's top row is the file's last (bitmap rows go bottom-up), byte for byte.
    EXPECT_EQ(std::memcmp(bytes.constData() + 54 + 1023 * 3840, Held(held).Row(0), 3840), 0);
    EXPECT_EQ(std::memcmp(bytes.constData() + 54, Held(held).Row(1023), 3840), 0);
    // The picture reads back pixel for pixel, the right way up.
    const QImage image(saved.path);
    ASSERT_EQ(image.size(), QSize(1280, 1024));
    const std::uint8_t* topRow = Held(held).Row(0);
    EXPECT_EQ(image.pixel(2, 0), qRgb(topRow[8], topRow[7], topRow[6]));

    // A second notification for the same request saves nothing.
    EXPECT_EQ(SaveStillPicture(held, stills, dir.path(), 0, time, {}).outcome, StillSaveResult::Dropped);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);

    stills.Request(StillSource::Keyboard);
    const StillSaveResult next = SaveStillPicture(held, stills, dir.path(), 0, time, {});
    EXPECT_TRUE(next.path.endsWith("_N0002.bmp"));
}

TEST(SaveStillPicture, AFullDiskReportsTheFailureAndLeavesNoCutPicture)
{
    QTemporaryDir dir;
    HeldFrame held;
    StillTrigger stills;
    HoldFrame(held, 640, 480);
    WriteFile(dir.path() + "/Still_2026-01-01_000000_N0001.bmp", "earlier picture, kept");
    // A file-size limit makes the write fail part way, as a full disk does.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    stills.Request(StillSource::Keyboard);
    const StillSaveResult result = SaveStillPicture(held, stills, dir.path(), 0, QDateTime::currentDateTime(), {});
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(result.outcome, StillSaveResult::Failed);
    EXPECT_EQ(result.error, QString::fromLocal8Bit(std::strerror(EFBIG))); // the system's reason
    const QStringList files = QDir(dir.path()).entryList(QDir::Files);
    EXPECT_EQ(files, QStringList{"Still_2026-01-01_000000_N0001.bmp"});
    EXPECT_EQ(ReadFile(dir.path() + "/Still_2026-01-01_000000_N0001.bmp"), "earlier picture, kept");
}

TEST(MediaFolders, FollowTheDocumentsFolderAsTheDesktopNamesIt)
{
    // A German desktop's documents folder, named in the user's XDG folder list.
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QDir().mkpath(home.path() + "/.config");
    QDir().mkpath(home.path() + "/Dokumente");
    QFile dirs(home.path() + "/.config/user-dirs.dirs");
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    dirs.close();
    const MediaFolders folders = MediaFolders::Create({});
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_EQ(folders.picture, home.path() + "/Dokumente/QRV-DM500 files/Picture");
    EXPECT_TRUE(QFileInfo(folders.picture).isDir());
}
