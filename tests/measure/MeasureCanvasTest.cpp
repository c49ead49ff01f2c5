#include "measure/MeasureCanvas.h"
#include "TestSupport.h"
#include "measure/MeasureGeometry.h"
#include "measure/MeasurementExport.h"
#include "measure/ShapeOverlay.h"
#include "media/PictureFile.h"
#include "media/StillNames.h"
#include "tests/measure/Micrometer.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

QString WritePicture(const QTemporaryDir& dir, const QString& name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(230, 230, 230));
    const QString path = dir.path() + "/" + name;
    image.save(path, name.right(3).compare("jpg", Qt::CaseInsensitive) == 0 ? "JPEG" : "BMP");
    return path;
}

class MeasureCanvasTest : public ::testing::Test {
protected:
    void Open(QSize pictureSize = {640, 480}, const QString& name = "Still_2009-05-14_102030_200X_N0001.bmp")
    {
        canvas_ = std::make_unique<CMeasureCanvas>(WritePicture(dir_, name, pictureSize), QSize(640, 480));
        canvas_->show();
        canvas_->SetCalibrationRate(97);
    }
    void TearDown() override { canvas_.reset(); }
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held =
            type == QEvent::MouseMove || type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, QPointF(at), canvas_->mapToGlobal(QPointF(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QApplication::sendEvent(canvas_.get(), &event);
    }
    void Click(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        Send(QEvent::MouseButtonPress, at, button);
        Send(QEvent::MouseButtonRelease, at, button);
    }
    void DoubleClick(QPoint at)
    {
        Click(at);
        Send(QEvent::MouseButtonDblClick, at);
        Send(QEvent::MouseButtonRelease, at);
    }
    void Move(QPoint at) { Send(QEvent::MouseMove, at); }
    const std::vector<std::unique_ptr<MeasureShape>>& List() const { return canvas_->Shapes().shapeList; }

    QTemporaryDir dir_;
    std::unique_ptr<CMeasureCanvas> canvas_;
};

} // namespace

TEST_F(MeasureCanvasTest, OpensThePictureAndReadsItsName)
{
    Open();
    EXPECT_TRUE(canvas_->HasPicture());
    EXPECT_EQ(canvas_->Title(), "Still_2009-05-14_102030_200X_N0001");
    EXPECT_EQ(canvas_->FileCaption(), "2009-05-14_102030_200X_N0001");
    EXPECT_EQ(canvas_->FileNameRate(), 200);
    // One reader of still names: the plain ones as ever, and the all-in-focus and mosaic
    // stills' (whose tag stands between the magnification and the running number).
    EXPECT_EQ(MagnificationInName("/p/Still_2009-05-14_102030_N0001.bmp"), 0);
    EXPECT_EQ(MagnificationInName("/p/Still_2009-05-14_102030_050X_N0001.bmp"), 50);
    EXPECT_EQ(MagnificationInName("/p/Still_2009-05-14_102030_200X_EDF_N0001.bmp"), 200);
    EXPECT_EQ(MagnificationInName("/p/Still_2009-05-14_102030_200X_MOS_N0002.tif"), 200);
    EXPECT_EQ(MagnificationInName("/p/Still_2009-05-14_102030_1000X_N0001.bmp"), 1000);
    EXPECT_EQ(MagnificationInName("/p/Still_2009-05-14_102030_-12X_N0001.bmp"), 0);
    EXPECT_EQ(PictureFileCaption("/x/NoUnderscore.bmp"), "NoUnderscore");
}

TEST_F(MeasureCanvasTest, AnUnreadablePictureIsReportedAndIgnoresTheMouse)
{
    MessageBoxRecorder boxes;
    WriteFile(dir_.path() + "/broken.BMP", "not a bitmap");
    canvas_ = std::make_unique<CMeasureCanvas>(dir_.path() + "/broken.BMP", QSize(640, 480));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    // The message says why, after the program's own words.
    EXPECT_TRUE(boxes.Boxes()[0].text.startsWith("Cannot open the file\n"));
    EXPECT_GT(boxes.Boxes()[0].text.size(), QString("Cannot open the file\n").size());
    canvas_->SetTool(ToolLine, true);
    Click({10, 10});
    Click({20, 10});
    EXPECT_TRUE(List().empty());
    EXPECT_FALSE(canvas_->SaveAnnotated(dir_.path() + "/out.bmp"));

    canvas_ = std::make_unique<CMeasureCanvas>(dir_.path() + "/picture.png", QSize(640, 480));
    EXPECT_EQ(boxes.Boxes().size(), 2u); // another kind of file is refused with its reason too
    EXPECT_FALSE(canvas_->HasPicture());
}

TEST_F(MeasureCanvasTest, ALineCompletesEvenAfterTheToolChanged)
{
    Open();
    canvas_->SetTool(ToolLine, true);
    Click({100, 100});
    EXPECT_TRUE(canvas_->IsConfined());
    canvas_->SetTool(ToolRectangle, true);
    Click({200, 100});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->kind, ShapeLine);
    EXPECT_EQ(List()[0]->labels, std::vector<QString>{"dist:0.31mm"});
    EXPECT_FALSE(canvas_->IsConfined());
}

TEST_F(MeasureCanvasTest, ASmallPictureShownStretchedTakesClicksWhereverItIsShown)
{
    canvas_ = std::make_unique<CMeasureCanvas>(WritePicture(dir_, "small.bmp", {320, 240}), QSize(640, 480));
    canvas_->SetTool(ToolLine, false);
    canvas_->SetCalibrationRate(97);
    Click({400, 300}); // outside the picture's own 320 x 240, inside what is shown
    EXPECT_TRUE(canvas_->IsBuilding());
    EXPECT_EQ(canvas_->ConfinementRect(), QRect(0, 0, 640, 480));
    Click({600, 300});
    ASSERT_EQ(List().size(), 1u);
    // Saved on the picture where it was shown: at half the view's coordinates.
    const QString path = dir_.path() + "/annotated.bmp";
    ASSERT_TRUE(canvas_->SaveAnnotated(path));
    const QImage saved(path);
    ASSERT_EQ(saved.size(), QSize(320, 240));
    EXPECT_EQ(saved.pixel(250, 150), qRgb(255, 0, 0));
    EXPECT_EQ(saved.pixel(250, 151), qRgb(230, 230, 230));
}

TEST_F(MeasureCanvasTest, ATextIsPlacedOnce)
{
    Open();
    canvas_->SetPendingText("Cell wall");
    canvas_->SetTool(ToolText, true);
    Click({50, 60});
    Click({80, 90});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->kind, ShapeText);
    EXPECT_EQ(List()[0]->labels, std::vector<QString>{"Cell wall"});
    EXPECT_EQ(List()[0]->points, std::vector<QPoint>{QPoint(50, 60)});
}

TEST_F(MeasureCanvasTest, AMeasuredPolylineHasOneMorePointThanLabels)
{
    Open();
    canvas_->SetTool(ToolContinuousLine, true);
    Click({10, 10});
    Click({110, 10});
    Move({150, 40});
    DoubleClick({110, 110});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->points, (std::vector<QPoint>{{10, 10}, {110, 10}, {110, 110}}));
    EXPECT_EQ(List()[0]->labels.size(), 2u);
    EXPECT_EQ(List()[0]->labels[0], "dist:0.31mm");
    EXPECT_FALSE(canvas_->IsBuilding());
}

TEST_F(MeasureCanvasTest, FreehandWithoutMovementKeepsNoPoints)
{
    Open();
    canvas_->SetTool(ToolContinuousLine, false);
    Click({10, 10});
    Click({10, 10});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_TRUE(List()[0]->points.empty());

    Click({20, 20});
    Move({30, 25});
    Move({40, 35});
    Click({40, 35});
    ASSERT_EQ(List().size(), 2u);
    EXPECT_EQ(List()[1]->points, (std::vector<QPoint>{{20, 20}, {30, 25}}));
}

TEST_F(MeasureCanvasTest, APolygonOfTwoPointsIsMeasured)
{
    Open();
    canvas_->SetTool(ToolPolygon, true);
    Click({10, 10});
    DoubleClick({100, 10});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->kind, ShapePolygon);
    EXPECT_EQ(List()[0]->points.size(), 2u);
    EXPECT_EQ(List()[0]->labels, std::vector<QString>{"area:0.00mm2"});
}

TEST_F(MeasureCanvasTest, RightClickCancelsARectangleButNotAThreePointCircle)
{
    Open();
    canvas_->SetTool(ToolRectangle, true);
    Click({100, 100});
    Move({200, 150});
    const QImage withFeedback = canvas_->grab().toImage();
    Click({200, 150}, Qt::RightButton);
    EXPECT_FALSE(canvas_->IsBuilding());
    EXPECT_FALSE(canvas_->IsConfined());
    EXPECT_NE(canvas_->grab().toImage(), withFeedback); // the rubber band is gone
    EXPECT_TRUE(List().empty());

    canvas_->SetTool(ToolThreePointCircle, true);
    Click({120, 280});
    Click({200, 100}, Qt::RightButton);
    EXPECT_TRUE(canvas_->IsConfined());
    Click({200, 100});
    Click({280, 260});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->labels, (std::vector<QString>{"area:0.32mm2", "radius:0.32mm"}));
}

TEST_F(MeasureCanvasTest, ACircleThroughThreeCollinearPointsIsRefusedAndTheUserToldWhy)
{
    Open();
    MessageBoxRecorder boxes;
    canvas_->SetTool(ToolThreePointCircle, true);
    Click({10, 10});
    Click({50, 50});
    Click({90, 90});
    EXPECT_TRUE(List().empty());
    EXPECT_FALSE(canvas_->IsBuilding());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "The three points lie on one line: no circle passes through them.");
}

TEST_F(MeasureCanvasTest, TheThreePointCircleIsDrawnThroughTheThreeClicks)
{
    Open();
    canvas_->SetTool(ToolThreePointCircle, false);
    const std::vector<QPoint> clicks = {{227, 277}, {397, 176}, {413, 276}};
    for (const QPoint& p : clicks) Click(p);
    ASSERT_EQ(List().size(), 1u);
    const QImage view = canvas_->ComposedView();
    for (const QPoint& p : clicks) {
        bool onOutline = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) onOutline |= view.pixel(p + QPoint(dx, dy)) == qRgb(255, 0, 0);
        EXPECT_TRUE(onOutline) << p.x() << "," << p.y();
    }
    EXPECT_NE(view.pixel(320, 90), qRgb(255, 0, 0)); // where the old construction put its centre area
}

TEST_F(MeasureCanvasTest, ADoubleClickNeverLeavesAStrayShapeOrPoint)
{
    Open();
    canvas_->SetTool(ToolLine, true);
    DoubleClick({100, 100}); // a quick double click starts a line and does not end it
    EXPECT_TRUE(List().empty());
    EXPECT_TRUE(canvas_->IsBuilding());
    Click({200, 100});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->points, (std::vector<QPoint>{{100, 100}, {200, 100}}));

    canvas_->SetTool(ToolRectangle, true);
    DoubleClick({50, 50});
    EXPECT_EQ(List().size(), 1u);
    Click({60, 70});
    ASSERT_EQ(List().size(), 2u);
    EXPECT_EQ(List()[1]->points, (std::vector<QPoint>{{50, 50}, {60, 70}}));

    // A measured polyline started with a double click gets no repeated point.
    canvas_->SetTool(ToolContinuousLine, true);
    DoubleClick({10, 300});
    Click({110, 300});
    DoubleClick({110, 400});
    ASSERT_EQ(List().size(), 3u);
    EXPECT_EQ(List()[2]->points, (std::vector<QPoint>{{10, 300}, {110, 300}, {110, 400}}));
    EXPECT_EQ(List()[2]->labels, (std::vector<QString>{"dist:0.31mm", "dist:0.31mm"}));
}

TEST_F(MeasureCanvasTest, ARectangleDrawsTheSamePixelsWhicheverWayItIsDragged)
{
    Open();
    canvas_->SetTool(ToolRectangle, false);
    Click({100, 100});
    Click({200, 150});
    const QImage forward = canvas_->ComposedView();
    canvas_->Undo();
    Click({200, 150});
    Click({100, 100});
    const QImage backward = canvas_->ComposedView();
    EXPECT_EQ(forward, backward);
    // The outline runs through both clicked corners.
    EXPECT_EQ(backward.pixel(100, 100), qRgb(255, 0, 0));
    EXPECT_EQ(backward.pixel(200, 150), qRgb(255, 0, 0));
    EXPECT_NE(backward.pixel(201, 151), qRgb(255, 0, 0));
}

TEST_F(MeasureCanvasTest, AnglesAndFourPointAngles)
{
    Open();
    canvas_->SetTool(ToolAngle, true);
    Click({200, 100});
    Click({100, 100}); // the vertex
    Click({100, 0});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->points, (std::vector<QPoint>{{200, 100}, {100, 0}, {100, 100}}));
    EXPECT_EQ(List()[0]->labels[0], QString("90.0") + QChar(0xB0));

    canvas_->SetTool(ToolFourPointAngle, true);
    Click({10, 10});
    Click({110, 10});
    Click({10, 20});
    Click({110, 120});
    ASSERT_EQ(List().size(), 2u);
    EXPECT_EQ(List()[1]->labels[0], QString("45.0") + QChar(0xB0));
}

TEST_F(MeasureCanvasTest, DrawModeShapesCarryEmptyLabels)
{
    Open();
    canvas_->SetTool(ToolRadiusCircle, false);
    Click({100, 100});
    EXPECT_EQ(canvas_->ConfinementRect(), QRect(0, 0, 200, 200)); // the largest square on the centre
    Click({150, 100});
    ASSERT_EQ(List().size(), 1u);
    EXPECT_EQ(List()[0]->labels, (std::vector<QString>{"", ""}));
}

TEST(ShapeStore, UndoAndRedoFollowTheWorkedSequences)
{
    auto make = [](int id) {
        auto shape = std::make_unique<MeasureShape>();
        shape->penWidth = id;
        return shape;
    };
    ShapeStore store;
    auto ids = [&store] {
        std::vector<int> out;
        for (const auto& shape : store.shapeList) out.push_back(shape->penWidth);
        return out;
    };
    store.Clear();
    for (int i = 1; i <= 3; ++i) store.Add(make(i));
    store.Undo();
    store.Undo();
    store.Redo();
    store.Redo();
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));

    store.Clear();
    for (int i = 1; i <= 3; ++i) store.Add(make(i));
    store.Undo();
    store.Undo();
    store.Add(make(4));
    store.Redo();
    EXPECT_EQ(ids(), (std::vector<int>{1}));
    store.Redo();
    EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
    store.Redo();
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));

    // Undoing a shape completed after an Undo loses nothing that was never undone.
    store.Clear();
    for (int i = 1; i <= 3; ++i) store.Add(make(i));
    store.Undo();
    store.Add(make(4));
    store.Undo();
    store.Redo();
    store.Redo();
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 4, 3}));
    store.Clear();
}

TEST_F(MeasureCanvasTest, SavesAtThePicturesOwnSizeWithShapesScaled)
{
    Open({1280, 1024}, "big.bmp");
    canvas_->SetTool(ToolLine, false);
    Click({100, 100});
    Click({200, 100});
    const QString path = dir_.path() + "/annotated.bmp";
    ASSERT_TRUE(canvas_->SaveAnnotated(path));
    const QImage saved(path);
    ASSERT_EQ(saved.size(), QSize(1280, 1024));
    // The picture is shown whole at 600 x 480 from x = 20: view (100, 100) is picture
    // (170.7, 213.3), view (200, 100) is picture (384, 213.3).
    EXPECT_EQ(saved.pixel(170, 213), qRgb(255, 0, 0));
    EXPECT_EQ(saved.pixel(300, 213), qRgb(255, 0, 0));
    EXPECT_EQ(saved.pixel(383, 213), qRgb(255, 0, 0));
    EXPECT_EQ(saved.pixel(384, 213), qRgb(230, 230, 230));
    EXPECT_EQ(saved.pixel(169, 213), qRgb(230, 230, 230));
    EXPECT_EQ(saved.pixel(300, 212), qRgb(230, 230, 230));
    // The caption is shown but never saved.
    EXPECT_EQ(saved.pixel(3, 1015), qRgb(230, 230, 230));

    const QString jpeg = dir_.path() + "/annotated.JPG";
    ASSERT_TRUE(canvas_->SaveAnnotated(jpeg));
    EXPECT_EQ(QImageReader(jpeg).format(), "jpeg");
    EXPECT_TRUE(canvas_->SaveAnnotated(dir_.path() + "/annotated.png"));
    EXPECT_EQ(QImageReader(dir_.path() + "/annotated.png").format(), "png");
    EXPECT_FALSE(canvas_->SaveAnnotated(dir_.path() + "/annotated.gif")); // no format the program writes
    EXPECT_FALSE(QFile::exists(dir_.path() + "/annotated.gif"));
}

TEST_F(MeasureCanvasTest, TheViewShowsThePictureShapesAndCaption)
{
    Open();
    canvas_->SetTool(ToolRectangle, true);
    Click({100, 100});
    Click({200, 150});
    const QImage view = canvas_->ComposedView();
    EXPECT_EQ(view.size(), QSize(640, 480));
    EXPECT_EQ(view.pixel(150, 100), qRgb(255, 0, 0)); // the rectangle's top edge
    EXPECT_EQ(view.pixel(150, 120), qRgb(230, 230, 230));
    bool caption = false;
    for (int x = 2; x < 100; ++x)
        for (int y = 466; y < 480; ++y) caption |= view.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_TRUE(caption);
}

TEST_F(MeasureCanvasTest, AnAnnotatedSaveOntoAFullDiskLeavesTheOldFileWhole)
{
    Open();
    canvas_->SetTool(ToolLine, false);
    Click({100, 100});
    Click({200, 100});
    const QString path = dir_.path() + "/annotated.bmp";
    WriteFile(path, "an earlier result");
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000; // the picture needs 921654 bytes
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    QString error;
    const bool saved = canvas_->SaveAnnotated(path, &error);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_EQ(ReadFile(path), "an earlier result");
    EXPECT_EQ(QDir(dir_.path()).entryList({"annotated*"}, QDir::Files), QStringList{"annotated.bmp"});
}

TEST_F(MeasureCanvasTest, A1280x1024PictureIsShownWholeWithItsShapeKept)
{
    // A one-pixel line on the picture stays visible when the view shows it reduced.
    QImage picture(1280, 1024, QImage::Format_RGB32);
    picture.fill(qRgb(230, 230, 230));
    for (int x = 0; x < 1280; ++x) picture.setPixel(x, 501, qRgb(0, 0, 0));
    const QString path = dir_.path() + "/Still_2026-01-02_030405_200X_N0002.bmp";
    ASSERT_TRUE(picture.save(path, "BMP"));
    canvas_ = std::make_unique<CMeasureCanvas>(path, QSize(640, 480));
    canvas_->show();
    const QImage view = canvas_->ComposedView();
    EXPECT_EQ(view.pixel(10, 240), qRgb(0, 0, 0));  // the bar left of the picture
    EXPECT_EQ(view.pixel(629, 240), qRgb(0, 0, 0)); // and right of it
    EXPECT_EQ(view.pixel(320, 100), qRgb(230, 230, 230));
    int darkest = 255;
    for (int y = 230; y < 240; ++y) darkest = std::min(darkest, qGray(view.pixel(320, y)));
    EXPECT_LT(darkest, 200); // the line is still there

    // Clicks on the bars do nothing; on the picture they measure.
    canvas_->SetCalibrationRate(197);
    canvas_->SetTool(ToolLine, true);
    Click({10, 240});
    EXPECT_FALSE(canvas_->IsBuilding());
    Click({100, 240});
    EXPECT_EQ(canvas_->ConfinementRect(), QRect(20, 0, 600, 480));
}

TEST_F(MeasureCanvasTest, SavedAsTiffTheShapesTravelAsAnOverlayAndOpenAgainAsShapes)
{
    // A picture of 1280 x 1024 shown at half size: shapes are kept in the picture's pixels.
    canvas_ = std::make_unique<CMeasureCanvas>(WritePicture(dir_, "big.bmp", {1280, 1024}), QSize(640, 512));
    canvas_->SetCalibrationRate(97);
    canvas_->SetTool(ToolLine, false);
    Click({100, 100});
    Click({300, 200});
    canvas_->SetTool(ToolRadiusCircle, false);
    Click({400, 300});
    Click({450, 300});
    canvas_->SetTool(ToolAngle, false);
    Click({100, 400});
    Click({200, 400}); // the vertex
    Click({150, 300});
    ASSERT_EQ(List().size(), 3u);
    const std::vector<ShapeKind> kinds = {List()[0]->kind, List()[1]->kind, List()[2]->kind};

    const QString path = dir_.path() + "/shapes.tif";
    QString error;
    ASSERT_TRUE(canvas_->SaveAnnotated(path, &error)) << error.toStdString();
    EXPECT_FALSE(canvas_->HasUnsavedShapes());
    QString reason;
    PictureMetadata carried;
    const QImage saved = ReadPictureFile(path, &reason, &carried);
    ASSERT_FALSE(saved.isNull()) << reason.toStdString();
    // Not drawn into the pixels: the shapes are the overlay's.
    EXPECT_EQ(saved.pixel(400, 300), qRgb(230, 230, 230));
    ASSERT_EQ(carried.overlay.size(), 3u);
    const OverlayShape& line = carried.overlay[0];
    ASSERT_EQ(line.kind, OverlayShape::Kind::Line);
    EXPECT_NEAR(line.points[0].x(), 200, 1e-3);
    EXPECT_NEAR(line.points[1].y(), 400, 1e-3);
    EXPECT_EQ(carried.overlay[1].kind, OverlayShape::Kind::Oval);
    EXPECT_NEAR(carried.overlay[1].points[1].x() - carried.overlay[1].points[0].x(), 200, 1e-3); // radius 50 view px
    EXPECT_EQ(carried.overlay[2].kind, OverlayShape::Kind::Angle);
    EXPECT_EQ(carried.overlay[2].points[1], QPointF(400, 800)); // the vertex in the middle, as ImageJ has it

    // Opened again: the same shapes, to edit, measured again, nothing unsaved.
    const std::vector<QPoint> linePoints = List()[0]->points;
    canvas_ = std::make_unique<CMeasureCanvas>(path, QSize(640, 512));
    ASSERT_EQ(List().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(List()[i]->kind, kinds[i]) << i;
    EXPECT_EQ(List()[0]->points, linePoints);
    EXPECT_FALSE(List()[0]->labels.empty());
    EXPECT_FALSE(canvas_->HasUnsavedShapes());
    // Saved as a bitmap they are drawn in.
    const QString bitmap = dir_.path() + "/shapes.bmp";
    ASSERT_TRUE(canvas_->SaveAnnotated(bitmap));
    EXPECT_NE(QImage(bitmap).pixel(400, 300), qRgb(230, 230, 230));
}

TEST(ShapeOverlay, ImageJsMultiPointSelectionsComeBackAsOneNumberedCount)
{
    OverlayShape count;
    count.kind = OverlayShape::Kind::Points;
    count.points = {{100, 50}, {300, 250}, {640, 480}};
    OverlayShape more = count;
    more.points = {{10, 10}};
    const ViewMapping half{2.0, {}}; // a picture shown at half size
    const std::vector<LoadedShape> shapes = ShapesOfOverlay({count, more}, half);
    ASSERT_EQ(shapes.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(shapes[i].kind, ShapeCountMark);
        EXPECT_EQ(shapes[i].text, QString::number(i + 1));
    }
    EXPECT_EQ(shapes[1].points, std::vector<QPoint>{QPoint(150, 125)});
}

TEST_F(MeasureCanvasTest, TheCaliperAndTheCountMeasureOnThePictureAndTravelInTiffAndCsv)
{
    // The stage micrometer at 1280 x 1024, shown at half size: the caliper still reads to a
    // fraction of a picture pixel, though every click lands on two.
    const Micrometer m = RenderMicrometer(1280, 1024);
    const QString picturePath = dir_.path() + "/micrometer.png";
    ASSERT_TRUE(m.picture.save(picturePath));
    canvas_ = std::make_unique<CMeasureCanvas>(picturePath, QSize(640, 512));
    canvas_->SetCalibrationRate(200);
    canvas_->SetStageCalibration(m.millimetresPerPixel, LengthUnit::Micrometre);
    const double pitch = m.longLines[1] - m.longLines[0];
    const int y = static_cast<int>((m.baselineY - 0.04 * 1280) / 2);
    canvas_->SetTool(ToolCaliper, true);
    Click({static_cast<int>((m.longLines[0] - pitch / 4) / 2), y});
    Move({static_cast<int>((m.longLines[1] + pitch / 4) / 2), y + 1});
    Click({static_cast<int>((m.longLines[1] + pitch / 4) / 2), y + 1});
    ASSERT_EQ(List().size(), 1u);
    const MeasureShape& caliper = *List()[0];
    ASSERT_EQ(caliper.kind, ShapeCaliper);
    EXPECT_NEAR(caliper.foundPixels * m.millimetresPerPixel, 0.1, 0.1 * 0.005);
    ASSERT_EQ(caliper.labels.size(), 1u);
    EXPECT_TRUE(caliper.labels[0].startsWith("caliper:")) << caliper.labels[0].toStdString();
    EXPECT_NEAR(caliper.labels[0].mid(8, caliper.labels[0].size() - 10).toDouble(), 100, 0.5);
    // Where it found the edges: not on the clicks' grid of two picture pixels.
    ASSERT_EQ(caliper.found.size(), 2u);
    EXPECT_GT(std::abs(caliper.found[0].x() * 2 - std::round(caliper.found[0].x() * 2)), 1e-3);

    // A caliper across nothing is refused and nothing is added.
    canvas_->SetTool(ToolCaliper, true);
    Click({20, 20});
    Click({40, 20});
    EXPECT_EQ(List().size(), 1u);

    // Three marks of a count, numbered as placed; Undo takes the last one back.
    canvas_->SetTool(ToolCount, false);
    for (const QPoint at : {QPoint(100, 100), QPoint(200, 120), QPoint(300, 140), QPoint(400, 160)}) Click(at);
    canvas_->Undo();
    ASSERT_EQ(List().size(), 4u);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(List()[static_cast<std::size_t>(i)]->kind, ShapeCountMark);
        EXPECT_EQ(List()[static_cast<std::size_t>(i)]->labels, std::vector<QString>{QString::number(i)});
    }

    // The CSV: the caliper's row with its edges to a hundredth of a pixel, one row for the count
    // with the marks per square millimetre of the picture.
    MeasurementScale scale;
    scale.mapping = canvas_->Mapping();
    scale.pictureSize = canvas_->PictureSize();
    scale.millimetresPerPixel = m.millimetresPerPixel;
    const QStringList rows = QString::fromUtf8(MeasurementsCsv(canvas_->Shapes(), scale)).split("\r\n");
    ASSERT_GE(rows.size(), 3);
    EXPECT_TRUE(rows[1].startsWith("1,caliper,caliper,")) << rows[1].toStdString();
    EXPECT_TRUE(rows[2].startsWith("2,count,count,3,,density,")) << rows[2].toStdString();
    const double area = 1280 * 1024 * m.millimetresPerPixel * m.millimetresPerPixel;
    EXPECT_NEAR(rows[2].section(',', 6, 6).toDouble(), 3 / area, 0.01);
    EXPECT_TRUE(rows[2].contains("200 200; 400 240; 600 280")) << rows[2].toStdString();

    // In a TIFF: the caliper from edge to edge and the count as one multi-point selection;
    // opened again, the same caliper reading and the numbered marks.
    const QString tiff = dir_.path() + "/measured.tif";
    ASSERT_TRUE(canvas_->SaveAnnotated(tiff));
    PictureMetadata carried;
    ASSERT_FALSE(ReadPictureFile(tiff, nullptr, &carried).isNull());
    ASSERT_EQ(carried.overlay.size(), 2u);
    EXPECT_EQ(carried.overlay[0].kind, OverlayShape::Kind::Line);
    EXPECT_EQ(carried.overlay[0].name, "Caliper");
    EXPECT_EQ(carried.overlay[1].kind, OverlayShape::Kind::Points);
    EXPECT_EQ(carried.overlay[1].points.size(), 3u);
    const double measuredPixels = caliper.foundPixels;
    canvas_ = std::make_unique<CMeasureCanvas>(tiff, QSize(640, 512));
    canvas_->SetCalibrationRate(200);
    canvas_->SetStageCalibration(m.millimetresPerPixel, LengthUnit::Micrometre);
    canvas_->Relabel();
    ASSERT_EQ(List().size(), 4u);
    EXPECT_EQ(List()[0]->kind, ShapeCaliper);
    EXPECT_NEAR(List()[0]->foundPixels, measuredPixels, 0.05);
    EXPECT_EQ(List()[3]->kind, ShapeCountMark);
    EXPECT_EQ(List()[3]->labels, std::vector<QString>{"3"});
}
