#include "media/PictureConversion.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

QString Source(const QTemporaryDir& folder)
{
    const QString path = folder.path() + "/Still_2026-12-08_100000_200X_N0001.bmp";
    WriteFile(path, SmallBmp(qRgb(10, 200, 30)));
    return path;
}

} // namespace

TEST(SavePictureAs, TheSameFormatIsCopiedAnotherConvertedWithItsNewDescription)
{
    QTemporaryDir folder;
    const QString source = Source(folder);
    const ConversionOutcome copy = SavePictureAs(source, folder.path() + "/copy.bmp", SameFormat::Copy, {});
    EXPECT_EQ(copy.failure, ConversionOutcome::None);
    EXPECT_TRUE(copy.copied);
    EXPECT_EQ(ReadFile(folder.path() + "/copy.bmp"), ReadFile(source));

    QSize described;
    const ConversionOutcome tiff = SavePictureAs(source, folder.path() + "/scaled.tif", SameFormat::Copy,
                                                 [&](const PictureMetadata& carried, QSize size) {
                                                     described = size;
                                                     PictureMetadata metadata = carried;
                                                     metadata.millimetresPerPixel = 0.004;
                                                     return metadata;
                                                 });
    ASSERT_EQ(tiff.failure, ConversionOutcome::None) << tiff.reason.toStdString();
    EXPECT_FALSE(tiff.copied);
    EXPECT_EQ(described, tiff.size);
    EXPECT_NEAR(tiff.metadata.millimetresPerPixel, 0.004, 1e-12);
    // --convert writes a picture of the same format anew (its scale may change).
    const ConversionOutcome again = SavePictureAs(source, folder.path() + "/again.bmp", SameFormat::Convert, {});
    EXPECT_FALSE(again.copied);
}

TEST(SavePictureAs, OntoAFullDiskTheEarlierFileStaysAndTheReasonIsTheSystems)
{
    QTemporaryDir folder, target;
    const QString source = Source(folder);
    const QString kept = target.path() + "/kept.bmp";
    WriteFile(kept, "the user's earlier file");
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 60; // smaller than the picture: the write fails as on a full disk
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tiny);
    const ConversionOutcome copied = SavePictureAs(source, kept, SameFormat::Copy, {});
    const ConversionOutcome converted = SavePictureAs(source, target.path() + "/converted.jpg", SameFormat::Copy, {});
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(copied.failure, ConversionOutcome::Copying);
    EXPECT_TRUE(copied.reason.contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << copied.reason.toStdString();
    EXPECT_EQ(converted.failure, ConversionOutcome::Writing);
    EXPECT_EQ(ReadFile(kept), "the user's earlier file");
    EXPECT_EQ(QDir(target.path()).entryList(QDir::Files), QStringList{"kept.bmp"}); // no temporary left
}

TEST(SavePictureAs, AVideoSavedAsAPictureIsRefusedAsNoPictureAndTheSourceStays)
{
    QTemporaryDir folder;
    const QString video = folder.path() + "/Video_N0001.avi";
    WriteFile(video, "not a picture");
    const ConversionOutcome outcome = SavePictureAs(video, folder.path() + "/frame.jpg", SameFormat::Copy, {});
    EXPECT_EQ(outcome.failure, ConversionOutcome::Reading);
    EXPECT_FALSE(outcome.reason.isEmpty());
    EXPECT_TRUE(QFile::exists(video));
    EXPECT_FALSE(QFile::exists(folder.path() + "/frame.jpg"));
    // Saved as a video it is copied as it is.
    EXPECT_EQ(SavePictureAs(video, folder.path() + "/copy.avi", SameFormat::Copy, {}).failure, ConversionOutcome::None);
    EXPECT_EQ(ReadFile(folder.path() + "/copy.avi"), "not a picture");
}
