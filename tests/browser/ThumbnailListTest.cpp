#include "browser/ThumbnailList.h"
#include "TestSupport.h"
#include "app/stills/StillPicture.h"

#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

class ThumbnailListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(Pictures());
        QDir().mkpath(Videos());
    }
    QString Pictures() const { return dir_.path() + "/Picture"; }
    QString Videos() const { return dir_.path() + "/Video"; }
    void AddPictures(int count, const char* prefix = "Still_N")
    {
        for (int i = 0; i < count; ++i)
            WriteFile(Pictures() + QString("/%1%2.bmp").arg(prefix).arg(i + 1, 4, 10, QChar('0')),
                      SmallBmp(qRgb(200, 0, 0)));
    }
    CThumbnailList& Make()
    {
        list_ = std::make_unique<CThumbnailList>(Pictures(), Videos());
        list_->resize(220, 420);
        list_->show();
        QCoreApplication::processEvents();
        list_->repaint();
        list_->UpdateScrollBar();
        return *list_;
    }
    QPoint CellCentre(int k) const { return list_->mapToGlobal(list_->Cells()[static_cast<std::size_t>(k)].center()); }

    QTemporaryDir dir_;
    std::unique_ptr<CThumbnailList> list_;
};

} // namespace

TEST_F(ThumbnailListTest, EmptyFoldersShowABackgroundAndADisabledScrollBar)
{
    auto& list = Make();
    EXPECT_EQ(list.ScrollBar()->minimum(), 0);
    EXPECT_EQ(list.ScrollBar()->maximum(), 4);
    EXPECT_FALSE(list.ScrollBar()->isEnabled());
    EXPECT_EQ(list.DrawnCells(), 0);
    QString path;
    EXPECT_EQ(list.GetSelectedPath(path), 0u);
}

TEST_F(ThumbnailListTest, CellsAreLaidOutTwoByFiveFromTheClientArea)
{
    auto& list = Make();
    const int w = 220 - CThumbnailList::kScrollBarWidth;
    const int cw = (w - 28) / 2, ch = (420 - 38) / 5;
    EXPECT_EQ(list.Cells()[0], QRect(11, 4, cw, ch));
    EXPECT_EQ(list.Cells()[1], QRect(11 + cw + 7, 4, cw, ch));
    EXPECT_EQ(list.Cells()[9], QRect(11 + cw + 7, 4 + (ch + 7) * 4, cw, ch));
}

TEST_F(ThumbnailListTest, StartUpListsBmpFilesOver40BytesAndAviFiles)
{
    AddPictures(2);
    WriteFile(Pictures() + "/tiny.bmp", QByteArray(40, 'x'));
    WriteFile(Pictures() + "/note.txt", "x");
    WriteFile(Videos() + "/Video_N0001.avi", "not really a video");
    auto& list = Make();
    EXPECT_EQ(list.Pictures().size(), 2u);
    EXPECT_EQ(list.Videos().size(), 1u);
    EXPECT_EQ(list.DrawnCells(), 2);
    EXPECT_EQ(list.Pictures()[0].flags, static_cast<std::uint32_t>(Listed | New));
}

TEST_F(ThumbnailListTest, TopRowFollowsTheAddingRules)
{
    AddPictures(11);
    auto& list = Make();
    EXPECT_EQ(list.PictureTopRow(), 0);
    // The new still is shown: the list does not go back to the top, where it is out of view.
    WriteFile(Pictures() + "/Still_N0012.bmp", SmallBmp(qRgb(0, 0, 200)));
    list.AddCapturedPicture(Pictures() + "/Still_N0012.bmp");
    EXPECT_EQ(list.PictureTopRow(), 1);
    EXPECT_EQ(list.SelectedIndex() - list.PictureTopRow() * 2, 9); // in the last cell
    list.UpdateScrollBar();                                        // as a tab switch or leaving full screen does
    EXPECT_EQ(list.PictureTopRow(), 1);

    list_.reset();
    QDir(Pictures()).removeRecursively();
    QDir().mkpath(Pictures());
    AddPictures(23);
    auto& more = Make();
    WriteFile(Pictures() + "/Still_N0024.bmp", SmallBmp(qRgb(0, 0, 200)));
    more.AddCapturedPicture(Pictures() + "/Still_N0024.bmp");
    EXPECT_EQ(more.PictureTopRow(), 7);
    EXPECT_EQ(more.SelectedIndex(), 23);
    EXPECT_EQ(more.DrawnCells(), 10);
    EXPECT_TRUE(more.ScrollBar()->isEnabled());
}

TEST_F(ThumbnailListTest, ScrollingReachesTheLastRowAndTheWheelScrolls)
{
    AddPictures(24); // 12 rows
    auto& list = Make();
    list.Scroll(CThumbnailList::Top);
    EXPECT_EQ(list.TopRow(), 0);
    list.Scroll(CThumbnailList::Bottom);
    EXPECT_EQ(list.TopRow(), 11);
    EXPECT_EQ(list.DrawnCells(), 2); // only row 11 at the top of the grid
    list.Scroll(CThumbnailList::PageUp);
    EXPECT_EQ(list.TopRow(), 6);
    list.Scroll(CThumbnailList::LineDown);
    EXPECT_EQ(list.TopRow(), 7);
    list.Scroll(CThumbnailList::PageDown);
    list.Scroll(CThumbnailList::PageDown);
    EXPECT_EQ(list.TopRow(), 11);

    QWheelEvent wheel(QPointF(50, 50), list.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&list, &wheel);
    EXPECT_EQ(list.TopRow(), 11); // already at the bottom
    QWheelEvent up(QPointF(50, 50), list.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 240), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&list, &up);
    EXPECT_EQ(list.TopRow(), 9); // two notches, two rows, like the bar's arrow
    EXPECT_EQ(list.ScrollBar()->value(), 9);
}

TEST_F(ThumbnailListTest, EveryCellShowsItsOwnFileAndActsOnIt)
{
    WriteFile(Pictures() + "/Still_N0001.bmp", QByteArray(100, 'x')); // cannot be decoded
    WriteFile(Pictures() + "/Still_N0002.bmp", SmallBmp(qRgb(0, 200, 0)));
    WriteFile(Pictures() + "/Still_N0003.bmp", SmallBmp(qRgb(0, 0, 200)));
    auto& list = Make();
    EXPECT_EQ(list.DrawnCells(), 2);
    const QImage canvas = list.Canvas();
    // The damaged file keeps cell 0 as a placeholder; the others stay in their own cells.
    EXPECT_NE(canvas.pixel(list.Cells()[0].center()), qRgb(0, 200, 0));
    EXPECT_EQ(canvas.pixel(list.Cells()[1].center()), qRgb(0, 200, 0));
    EXPECT_EQ(canvas.pixel(list.Cells()[2].center()), qRgb(0, 0, 200));
    ASSERT_EQ(list.SelectAt(CellCentre(1)), 1);
    QString path;
    list.GetSelectedPath(path);
    EXPECT_TRUE(path.endsWith("Still_N0002.bmp")); // the green one, as shown

    // Delete on the placeholder removes the damaged file and nothing else.
    ASSERT_EQ(list.SelectAt(CellCentre(0)), 1);
    MessageBoxRecorder boxes(Answer::Ok);
    list.DeleteSelected();
    EXPECT_FALSE(QFile::exists(Pictures() + "/Still_N0001.bmp"));
    EXPECT_TRUE(QFile::exists(Pictures() + "/Still_N0002.bmp"));
    EXPECT_EQ(list.Canvas().pixel(list.Cells()[0].center()), qRgb(0, 200, 0));
    // A click between cells clears the selection.
    EXPECT_EQ(list.SelectAt(list.mapToGlobal(QPoint(5, 2))), 0);
    EXPECT_EQ(list.GetSelectedPath(path), 0u);
}

TEST_F(ThumbnailListTest, ABitmapLargerThanTheDecodeBufferIsShownReduced)
{
    // 1600 x 1200 at 24 bits is 5.76 MB, over the 5 MB buffer; left half red, right half blue.
    QImage picture(1600, 1200, QImage::Format_RGB888);
    picture.fill(qRgb(200, 0, 0));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 800; x < 1600; ++x) picture.setPixel(x, y, qRgb(0, 0, 200));
    ASSERT_TRUE(picture.save(Pictures() + "/Other_camera.bmp", "BMP"));
    auto& list = Make();
    EXPECT_EQ(list.DrawnCells(), 1);
    const QRect cell = list.Cells()[0];
    EXPECT_EQ(list.Canvas().pixel(cell.left() + 2, cell.center().y()), qRgb(200, 0, 0));
    EXPECT_EQ(list.Canvas().pixel(cell.right() - 2, cell.center().y()), qRgb(0, 0, 200));
}

TEST_F(ThumbnailListTest, EachCellNamesItsFileInItsTooltip)
{
    AddPictures(3);
    auto& list = Make();
    QHelpEvent help(QEvent::ToolTip, list.Cells()[2].center(), list.mapToGlobal(list.Cells()[2].center()));
    QCoreApplication::sendEvent(&list, &help);
    EXPECT_EQ(QToolTip::text(), "Still_N0003.bmp");
}

TEST_F(ThumbnailListTest, CornerMarkIsLeftOffNamesStartingWithA)
{
    WriteFile(Pictures() + "/A_N0001.bmp", SmallBmp(qRgb(0, 0, 0)));
    WriteFile(Pictures() + "/B_N0002.bmp", SmallBmp(qRgb(0, 0, 0)));
    auto& list = Make();
    const QImage canvas = list.Canvas();
    auto markPixels = [&](const QRect& cell) {
        int count = 0;
        const int r = cell.left() + cell.width() + 2;
        for (int y = cell.top(); y < cell.top() + cell.height() + 3; ++y)
            for (int x = r - 1; x <= r + 1; ++x)
                if (canvas.pixel(x, y) == qRgb(12, 192, 0)) ++count;
        return count;
    };
    EXPECT_EQ(markPixels(list.Cells()[0]), 0);
    EXPECT_GT(markPixels(list.Cells()[1]), 5);
}

TEST_F(ThumbnailListTest, AVanishedFileIsDroppedWhenDrawn)
{
    AddPictures(3);
    auto& list = Make();
    QFile::remove(Pictures() + "/Still_N0002.bmp");
    list.RedrawThumbnails();
    EXPECT_EQ(list.Pictures().size(), 2u);
    EXPECT_EQ(list.DrawnCells(), 2);
}

TEST_F(ThumbnailListTest, DeleteAsksAndDeletes)
{
    AddPictures(2);
    auto& list = Make();
    MessageBoxRecorder boxes(Answer::Cancel);
    list.SelectAt(CellCentre(0));
    list.DeleteSelected();
    EXPECT_EQ(list.Pictures().size(), 2u);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Are you sure you want to delete this file?");
    boxes.SetAnswer(Answer::Ok);
    list.DeleteSelected();
    EXPECT_EQ(list.Pictures().size(), 1u);
    EXPECT_FALSE(QFile::exists(Pictures() + "/Still_N0001.bmp"));
}

TEST_F(ThumbnailListTest, DeleteAllGoesByTheSelectedExtensionsExactCase)
{
    AddPictures(2);
    WriteFile(Pictures() + "/Mixed_N0009.Bmp", SmallBmp(qRgb(1, 2, 3)));
    WriteFile(Videos() + "/Video_N0001.avi", "x");
    auto& list = Make();
    MessageBoxRecorder boxes(Answer::Ok);
    // The picture list holds the two *.bmp files and the *.Bmp one (listing ignores case).
    ASSERT_EQ(list.Pictures().size(), 3u);
    int mixed = -1;
    for (int i = 0; i < 3; ++i)
        if (list.Pictures()[static_cast<std::size_t>(i)].path.endsWith(".Bmp")) mixed = i;
    ASSERT_GE(mixed, 0);
    list.SelectAt(CellCentre(mixed));
    list.DeleteAll();
    EXPECT_EQ(boxes.Boxes().back().text, "Are you sure you want to delete all files?");
    EXPECT_TRUE(list.Pictures().empty());                         // the shown list is emptied
    EXPECT_EQ(QDir(Pictures()).entryList(QDir::Files).size(), 3); // but nothing was deleted
    EXPECT_EQ(QDir(Videos()).entryList(QDir::Files).size(), 1);

    list_.reset();
    WriteFile(Pictures() + "/.hidden_N0001.bmp", SmallBmp(qRgb(1, 2, 3)));
    WriteFile(Pictures() + "/notes.txt", "the user's own notes");
    auto& again = Make();
    again.SelectAt(CellCentre(1)); // a *.bmp picture
    again.DeleteAll();
    // Exactly what the list showed is gone; files it never showed stay.
    EXPECT_TRUE(again.Pictures().empty());
    EXPECT_EQ(QDir(Pictures()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{".hidden_N0001.bmp", "notes.txt"}));
    EXPECT_EQ(QDir(Videos()).entryList(QDir::Files).size(), 1);
}

TEST_F(ThumbnailListTest, NamesDifferingInCaseAreTwoFiles)
{
    WriteFile(Pictures() + "/case_N0030.bmp", SmallBmp(qRgb(1, 2, 3)));
    WriteFile(Pictures() + "/CASE_N0030.bmp", SmallBmp(qRgb(4, 5, 6)));
    auto& list = Make();
    ASSERT_EQ(list.Pictures().size(), 2u);
    MessageBoxRecorder boxes(Answer::Ok);
    int lower = -1;
    for (int i = 0; i < 2; ++i)
        if (list.Pictures()[static_cast<std::size_t>(i)].path.endsWith("/case_N0030.bmp")) lower = i;
    ASSERT_GE(lower, 0);
    list.SelectAt(CellCentre(lower));
    list.DeleteSelected();
    ASSERT_EQ(list.Pictures().size(), 1u);
    EXPECT_TRUE(list.Pictures()[0].path.endsWith("/CASE_N0030.bmp"));
    EXPECT_TRUE(QFile::exists(Pictures() + "/CASE_N0030.bmp"));
}

TEST_F(ThumbnailListTest, StartUpOrderIgnoresLetterCaseThenTakesTheExactName)
{
    for (const char* name : {"b_N0002.bmp", "a_N0001.bmp", "A_N0001.bmp", "C_N0004.bmp"})
        WriteFile(Pictures() + "/" + name, SmallBmp(qRgb(1, 2, 3)));
    auto& list = Make();
    QStringList names;
    for (const MediaEntry& entry : list.Pictures()) names << QFileInfo(entry.path).fileName();
    EXPECT_EQ(names, (QStringList{"A_N0001.bmp", "a_N0001.bmp", "b_N0002.bmp", "C_N0004.bmp"}));
}

TEST_F(ThumbnailListTest, LinksToAFifoAreSkippedWithoutWaiting)
{
    AddPictures(1);
    QTemporaryDir elsewhere;
    const QString fifo = elsewhere.path() + "/pipe";
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, Pictures() + "/Still_N0002.bmp"));
    ASSERT_TRUE(QFile::link(fifo, Videos() + "/Video_N0001.avi"));
    auto& list = Make(); // returns: nothing waits for a writer that never comes
    ASSERT_EQ(list.Pictures().size(), 1u);
    EXPECT_TRUE(list.Pictures()[0].path.endsWith("Still_N0001.bmp"));
    list.SetShowingPictures(false);
    list.RedrawThumbnails(); // the video's thumbnail fails like an unreadable file
    EXPECT_EQ(list.DrawnCells(), 0);
}

TEST_F(ThumbnailListTest, ACutShortRecordingThatCannotBeRepairedIsLeftAsItIsAndTheUserToldOnce)
{
    // A recording cut in half, as a kill leaves it.
    const QString path = Videos() + "/Video_2026-12-07_101010_N0001.avi";
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=5", "-frames:v", "20",
                            "-c:v", "msvideo1", path});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_TRUE(QFile::resize(path, QFileInfo(path).size() / 2));
    const QByteArray cut = ReadFile(path);

    MessageBoxRecorder boxes;
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 4096; // the repaired copy cannot be written, as on a full disk
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tiny);
    list_ = std::make_unique<CThumbnailList>(Pictures(), Videos());
    list_->SetShowingPictures(false);
    list_->resize(220, 420);
    list_->show();
    QCoreApplication::processEvents();
    list_->repaint();
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
    EXPECT_TRUE(boxes.Boxes()[0].text.contains("could not be repaired")) << boxes.Boxes()[0].text.toStdString();
    EXPECT_TRUE(boxes.Boxes()[0].text.contains(path));
    EXPECT_EQ(ReadFile(path), cut);
    // Drawn again: not tried again, not said again.
    list_->repaint();
    QTest::qWait(20);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
}
