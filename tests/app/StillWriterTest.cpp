#include "app/stills/StillWriter.h"
#include "media/PictureFile.h"
#include "media/StillNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QImage Picture()
{
    QImage picture(64, 48, QImage::Format_RGB888);
    picture.fill(qRgb(200, 120, 40));
    return picture;
}

} // namespace

TEST(StillWriter, EveryKindOfStillCountsOnInOneSeriesWithItsTagTimeAndMagnification)
{
    QTemporaryDir folder;
    const StillWriter writer(folder.path());
    const QDateTime time(QDate(2026, 12, 8), QTime(14, 5, 9));
    const StillSaveResult plain = writer.Write({Picture(), {}}, {time, 0, {}, {PictureFormat::Bmp, {}}});
    ASSERT_EQ(plain.outcome, StillSaveResult::Saved) << plain.error.toStdString();
    EXPECT_EQ(QFileInfo(plain.path).fileName(), "Still_2026-12-08_140509_N0001.bmp");

    PictureMetadata scale;
    scale.millimetresPerPixel = 0.0025;
    const StillSaveResult stack = writer.Write({Picture(), {}}, {time, 200, "EDF", {PictureFormat::Tiff, scale}});
    ASSERT_EQ(stack.outcome, StillSaveResult::Saved) << stack.error.toStdString();
    EXPECT_EQ(QFileInfo(stack.path).fileName(), "Still_2026-12-08_140509_200X_EDF_N0002.tif");
    EXPECT_EQ(MagnificationInName(stack.path), 200); // the reader reads what the writer wrote
    QString reason;
    PictureMetadata carried;
    ASSERT_FALSE(ReadPictureFile(stack.path, &reason, &carried).isNull()) << reason.toStdString();
    EXPECT_NEAR(carried.millimetresPerPixel, 0.0025, 1e-9);
    EXPECT_EQ(carried.captured, time);
    EXPECT_EQ(carried.magnification, 200);

    // Its depth map beside it: the same name and format, no running number of its own.
    const StillSaveResult depth = writer.WriteBeside(stack.path, "_depth", Picture(), carried);
    ASSERT_EQ(depth.outcome, StillSaveResult::Saved);
    EXPECT_EQ(QFileInfo(depth.path).fileName(), "Still_2026-12-08_140509_200X_EDF_N0002_depth.tif");
    const StillSaveResult next = writer.Write({Picture(), {}}, {time, 0, "MOS", {PictureFormat::Png, {}}});
    EXPECT_EQ(QFileInfo(next.path).fileName(), "Still_2026-12-08_140509_MOS_N0003.png");
}

TEST(StillWriter, AStillThatCannotBeWrittenIsReportedWithItsNameAndReasonAndLeavesNothing)
{
    QTemporaryDir parent;
    const QString folder = parent.path() + "/gone"; // the picture folder went away
    const StillSaveResult result =
        StillWriter(folder).Write({Picture(), {}}, {QDateTime::currentDateTime(), 0, "EDF", {PictureFormat::Png, {}}});
    EXPECT_EQ(result.outcome, StillSaveResult::Failed);
    EXPECT_FALSE(result.error.isEmpty());
    const QString message = StillFailureMessage(result);
    EXPECT_TRUE(message.startsWith("The picture could not be saved:")) << message.toStdString();
    EXPECT_TRUE(message.contains(result.path));
    EXPECT_TRUE(message.contains(result.error));
    EXPECT_TRUE(QDir(parent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}
