#include "TestSupport.h"
#include "capture/backend/SlideRenderer.h"
#include "measure/CalibrateDlg.h"
#include "measure/CalibrationsDlg.h"
#include "measure/MeasureCanvas.h"
#include "measure/MeasureGeometry.h"
#include "measure/MeasurementExport.h"
#include "measure/PhotoMeasureDlg.h"
#include "media/PictureFile.h"
#include "media/PictureWriter.h"
#include "widgets/ScaleBar.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// A picture the simulated microscope takes of its stage micrometer, and where its 0 and 1
// mm ticks are (picture x), found in the picture itself.
struct RulerPicture {
    QString path;
    int zeroX = -1, oneMillimetreX = -1, baselineY = -1;
};

RulerPicture TakeRulerPicture(const QTemporaryDir& dir, int width, int height)
{
    SlideRenderer renderer;
    renderer.Prepare(width, height, Slide::StageMicrometer);
    std::vector<std::uint8_t> frame(renderer.FrameBytes());
    renderer.RenderFrame(0, frame.data(), nullptr);
    QImage picture(width, height, QImage::Format_RGB32);
    const std::size_t stride = SlideRenderer::StrideOf(width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* bgr = &frame[static_cast<std::size_t>(y) * stride + x * 3]; // top-down rows
            picture.setPixel(x, y, qRgb(bgr[2], bgr[1], bgr[0]));
        }
    RulerPicture ruler;
    ruler.path =
        dir.path() + QStringLiteral("/Still_2026-01-02_030405_200X_N%1.bmp").arg(width, 4, 10, QLatin1Char('0'));
    picture.save(ruler.path, "BMP");
    // The ruler's line is the darkest row; the long ticks stand highest above it.
    int darkest = 255 * 3 * width;
    for (int y = 0; y < height; ++y) {
        int sum = 0;
        for (int x = 0; x < width; ++x) sum += qGray(picture.pixel(x, y));
        if (sum < darkest) darkest = sum, ruler.baselineY = y;
    }
    const int probe = ruler.baselineY - width * 4 / 100; // above the short and middle ticks
    std::vector<int> ticks;
    for (int x = 1; x < width; ++x)
        if (qGray(picture.pixel(x, probe)) < 150 && qGray(picture.pixel(x - 1, probe)) >= 150) ticks.push_back(x);
    if (ticks.size() == 11) {
        ruler.zeroX = ticks.front();
        ruler.oneMillimetreX = ticks.back();
    }
    return ruler;
}

class StageCalibrationTest : public ::testing::Test {
protected:
    QString CalibrationPath() const { return dir_.path() + "/calibrations.json"; }
    void Open(const QString& picture)
    {
        dialog_ = std::make_unique<CPhotoMeasureDlg>(picture, nullptr, CalibrationPath());
        dialog_->show();
    }
    // Measures a line between two picture points; returns its label.
    QString MeasureLine(QPointF from, QPointF to)
    {
        CMeasureCanvas& canvas = *dialog_->Canvas();
        auto view = [&](QPointF p) {
            const QPointF v = canvas.Mapping().ToView(p);
            return QPoint(static_cast<int>(std::lround(v.x())), static_cast<int>(std::lround(v.y())));
        };
        dialog_->SetMenuAnswer(32817); // Measure > Line
        dialog_->OpenToolMenu(true);
        QTest::mouseClick(&canvas, Qt::LeftButton, {}, view(from));
        QTest::mouseClick(&canvas, Qt::LeftButton, {}, view(to));
        return canvas.Shapes().shapeList.back()->labels.front();
    }
    void Calibrate(const QString& length, int unitIndex)
    {
        dialog_->runCalibrateDialog = [&](CCalibrateDlg& calibrate) {
            calibrate.LengthBox().setText(length);
            calibrate.UnitList().setCurrentIndex(unitIndex);
            calibrate.OkButton().click();
            return calibrate.result() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
        };
        dialog_->OnMenuCommand(CPhotoMeasureDlg::kCalibrateCommand);
    }

    QTemporaryDir dir_;
    std::unique_ptr<CPhotoMeasureDlg> dialog_;
};

} // namespace

TEST_F(StageCalibrationTest, CalibratedOnTheMicrometerItMeasuresTheRulerRightAtEverySize)
{
    const RulerPicture large = TakeRulerPicture(dir_, 1280, 1024);
    ASSERT_GT(large.zeroX, 0);
    Open(large.path);
    EXPECT_EQ(dialog_->ScaleSource().text(), QStringLiteral("nominal scale"));
    const double y = large.baselineY;
    const QString nominal = MeasureLine({double(large.zeroX), y}, {double(large.oneMillimetreX), y});
    Calibrate(QStringLiteral("1"), 0);
    EXPECT_EQ(dialog_->ScaleSource().text(), QStringLiteral("calibrated"));
    // The reference line now reads its true length, and the nominal reading was not it.
    EXPECT_EQ(dialog_->Canvas()->Shapes().shapeList.back()->labels.front(), QStringLiteral("dist:1.00mm"));
    EXPECT_NE(nominal, QStringLiteral("dist:1.00mm"));
    const double half = (large.zeroX + large.oneMillimetreX) / 2.0;
    EXPECT_EQ(MeasureLine({double(large.zeroX), y}, {half, y}), QStringLiteral("dist:0.50mm"));

    // The same calibration on a 640 x 480 picture of the same ruler.
    const RulerPicture small = TakeRulerPicture(dir_, 640, 480);
    ASSERT_GT(small.zeroX, 0);
    Open(small.path);
    EXPECT_EQ(dialog_->ScaleSource().text(), QStringLiteral("calibrated"));
    const double smallHalf = (small.zeroX + small.oneMillimetreX) / 2.0;
    EXPECT_EQ(MeasureLine({double(small.zeroX), double(small.baselineY)}, {smallHalf, double(small.baselineY)}),
              QStringLiteral("dist:0.50mm"));

    // Calibrated again on that half millimetre, in micrometres, with one decimal.
    Calibrate(QStringLiteral("500"), 1);
    EXPECT_EQ(dialog_->Canvas()->Shapes().shapeList.back()->labels.front(), QStringLiteral("dist:500.0\u00B5m"));
    EXPECT_EQ(MeasureLine({double(small.zeroX), double(small.baselineY)},
                          {double(small.oneMillimetreX), double(small.baselineY)}),
              QStringLiteral("dist:1000.0\u00B5m"));

    // Another magnification has no calibration: the nominal factor again.
    dialog_->RateBox().setText(QStringLiteral("100"));
    EXPECT_EQ(dialog_->ScaleSource().text(), QStringLiteral("nominal scale"));
}

TEST_F(StageCalibrationTest, ACalibratedTiffMeasuresTheRulerWithoutTheCalibrationList)
{
    const RulerPicture ruler = TakeRulerPicture(dir_, 1280, 1024);
    ASSERT_GT(ruler.zeroX, 0);
    Open(ruler.path);
    const double y = ruler.baselineY;
    MeasureLine({double(ruler.zeroX), y}, {double(ruler.oneMillimetreX), y});
    Calibrate(QStringLiteral("1"), 0);
    // The still saved as TIFF with its calibration, as a still or Save as writes it.
    PictureMetadata metadata;
    metadata.millimetresPerPixel = dialog_->Canvas()->StageMillimetresPerPixel();
    metadata.magnification = 200;
    QString reason;
    const QImage picture = ReadPictureFile(ruler.path, &reason);
    const QString tiff = dir_.path() + "/Still_2026-01-02_030405_200X_N0002.tif";
    ASSERT_TRUE(WritePictureFile(tiff, picture, metadata, &reason)) << reason.toStdString();
    dialog_.reset();
    ASSERT_TRUE(QFile::remove(CalibrationPath())); // no calibration list any more

    Open(tiff);
    EXPECT_EQ(dialog_->ScaleSource().text(), QStringLiteral("from file"));
    EXPECT_EQ(MeasureLine({double(ruler.zeroX), y}, {double(ruler.oneMillimetreX), y}), QStringLiteral("dist:1.00mm"));
    // Saved annotated as TIFF, the picture keeps the scale its labels were read with.
    const QString annotated = dir_.path() + "/annotated.tif";
    ASSERT_TRUE(dialog_->Canvas()->SaveAnnotated(annotated, &reason)) << reason.toStdString();
    PictureMetadata kept;
    ReadPictureFile(annotated, nullptr, &kept);
    EXPECT_NEAR(kept.millimetresPerPixel, metadata.millimetresPerPixel, 1e-9);
    // Another magnification typed overrides the file's scale.
    dialog_->RateBox().setText(QStringLiteral("100"));
    EXPECT_EQ(dialog_->ScaleSource().text(), QStringLiteral("nominal scale"));
}

TEST_F(StageCalibrationTest, ADamagedCalibrationFileGivesTheNominalScaleAndAMessage)
{
    WriteFile(CalibrationPath(), "{\"calibrations\": [{\"magnification\": 200, \"millimetresPerPixel\": -3}]}");
    const RulerPicture ruler = TakeRulerPicture(dir_, 640, 480);
    MessageBoxRecorder boxes;
    Open(ruler.path);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_TRUE(boxes.Boxes()[0].text.startsWith(QStringLiteral("The calibration file is damaged")));
    EXPECT_EQ(dialog_->ScaleSource().text(), QStringLiteral("nominal scale"));
    // Nominal: 200 px at 200X on a 640 x 480 picture.
    EXPECT_EQ(MeasureLine({100, 100}, {300, 100}),
              DistanceLabel(Millimetres(200, kPixelFactor, *CalibrationRate(200, 640, 480))));

    WriteFile(CalibrationPath(), "not json at all");
    CalibrationStore store(CalibrationPath());
    EXPECT_FALSE(store.LoadError().isEmpty());
    EXPECT_TRUE(store.All().empty());
}

TEST_F(StageCalibrationTest, CalibrationsTravelBetweenMachinesThroughAnExportedFile)
{
    CalibrationStore lab(CalibrationPath());
    ASSERT_TRUE(lab.Set({200, 0.00125, QStringLiteral("objective 20x")}));
    ASSERT_TRUE(lab.Set({50, 0.005, QStringLiteral("objective 5x")}));
    const QString shared = dir_.path() + "/shared.json";
    ASSERT_TRUE(lab.Export(shared));

    CalibrationStore other(dir_.path() + "/other.json");
    ASSERT_TRUE(other.Set({200, 0.002, QStringLiteral("old")}));
    ASSERT_TRUE(other.Import(shared));
    ASSERT_EQ(other.All().size(), 2u);
    EXPECT_DOUBLE_EQ(other.Find(200)->millimetresPerPixel, 0.00125); // replaced by the lab's
    CalibrationStore reread(dir_.path() + "/other.json");
    EXPECT_EQ(reread.Find(50)->name, QStringLiteral("objective 5x"));

    QString error;
    WriteFile(dir_.path() + "/broken.json", "[1, 2");
    EXPECT_FALSE(other.Import(dir_.path() + "/broken.json", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(other.All().size(), 2u); // untouched
}

TEST_F(StageCalibrationTest, TheCsvParsesBackToTheLabelsValues)
{
    // One measured shape of each kind, calibrated in micrometres.
    Calibration calibration;
    calibration.millimetresPerPicturePixel = 0.0025;
    calibration.unit = LengthUnit::Micrometre;
    ShapeStore shapes;
    const std::vector<std::pair<ShapeKind, std::vector<QPoint>>> kinds = {
        {ShapeLine, {{10, 10}, {110, 10}}},
        {ShapeContinuousLine, {{10, 20}, {60, 20}, {60, 80}}},
        {ShapeRectangle, {{10, 100}, {50, 140}}},
        {ShapePolygon, {{200, 200}, {260, 200}, {260, 260}}},
        {ShapeRadiusCircle, {{300, 300}, {320, 300}}},
        {ShapeDiameterCircle, {{300, 100}, {340, 100}}},
        {ShapeThreePointCircle, {{400, 100}, {440, 140}, {400, 180}}},
        {ShapeAngle, {{500, 100}, {560, 160}, {500, 160}}},
    };
    for (const auto& [kind, points] : kinds) {
        auto shape = std::make_unique<MeasureShape>();
        shape->kind = kind;
        shape->points = points;
        shape->labels = *MeasureLabels(kind, points, calibration);
        shapes.Add(std::move(shape));
    }
    const QString csv = dir_.path() + "/Still_x.csv";
    ASSERT_TRUE(ExportMeasurements(
        csv, shapes, {ViewMapping{}, "Still_x.bmp", "0.00125 mm/px at 200X", "stage calibration"}, nullptr));

    // Python's csv module reads it as a spreadsheet would.
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv,sys\n"
                                 "for r in csv.DictReader(open(sys.argv[1], encoding='utf-8-sig')):\n"
                                 "    print(r['kind'] + '|' + r['quantity'] + '|' + r['value'] + '|' + "
                                 "r['unit'] + '|' + r['picture'] + '|' + r['points (picture pixels)'])\n"),
                  csv});
    ASSERT_TRUE(python.waitForFinished(10000));
    const QStringList rows = QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(kinds.size())) << python.readAllStandardError().toStdString();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const QStringList fields = rows[static_cast<qsizetype>(i)].split('|');
        const QString label = shapes.shapeList[i]->labels.front();
        EXPECT_EQ(fields[4], QStringLiteral("Still_x.bmp"));
        if (kinds[i].first == ShapeContinuousLine) {
            EXPECT_EQ(fields[2], QStringLiteral("275.0")); // 125.0 + 150.0
            continue;
        }
        const QString rebuilt = kinds[i].first == ShapeAngle ? fields[2] + QStringLiteral("\u00B0")
                                                             : fields[1] + ':' + fields[2] + fields[3];
        EXPECT_EQ(rebuilt, label) << fields.join('|').toStdString();
    }
    EXPECT_EQ(rows[0].split('|')[5], QStringLiteral("10 10; 110 10"));
}

TEST_F(StageCalibrationTest, TheListRenamesRemovesAndKeepsTheUnit)
{
    CalibrationStore store(CalibrationPath());
    ASSERT_TRUE(store.Set({200, 0.00125, QStringLiteral("200X")}));
    ASSERT_TRUE(store.Set({50, 0.005, QStringLiteral("50X")}));
    CCalibrationsDlg dialog(store);
    ASSERT_EQ(dialog.List().topLevelItemCount(), 2);
    EXPECT_EQ(dialog.List().topLevelItem(0)->text(0), QStringLiteral("50X")); // in order of magnification
    dialog.askName = [](const QString&) { return std::optional<QString>(QStringLiteral("objective 5x")); };
    dialog.RenameSelected();
    dialog.List().setCurrentItem(dialog.List().topLevelItem(1));
    dialog.RemoveSelected();
    dialog.UnitList().setCurrentIndex(1);

    const CalibrationStore reread(CalibrationPath());
    ASSERT_EQ(reread.All().size(), 1u);
    EXPECT_EQ(reread.All()[0].name, QStringLiteral("objective 5x"));
    EXPECT_EQ(reread.Unit(), LengthUnit::Micrometre);
}

TEST(ScaleBarTest, ARoundLengthSpansAFifthOrSoAndItsTextSaysItsLength)
{
    for (double perPixel = 1e-5; perPixel < 0.05; perPixel *= 1.07) {
        for (const int width : {640, 1280}) {
            const auto bar = ChooseScaleBar(perPixel, width, true);
            ASSERT_TRUE(bar);
            EXPECT_GE(bar->pixels, 0.15 * width) << perPixel;
            EXPECT_LE(bar->pixels, 0.25 * width) << perPixel;
            EXPECT_NEAR(bar->pixels * perPixel, bar->millimetres, 1e-9);
            // "100 µm": the text's number is the length in micrometres.
            EXPECT_NEAR(bar->text.section(' ', 0, 0).toDouble(), bar->millimetres * 1000, 1e-6)
                << bar->text.toStdString();
        }
    }
    EXPECT_EQ(ChooseScaleBar(0.00125, 1280, true)->text, QStringLiteral("300 \u00B5m"));
    EXPECT_EQ(ChooseScaleBar(0.00125, 1280, false)->text, QStringLiteral("0.3 mm"));
    EXPECT_FALSE(ChooseScaleBar(0, 1280, true));
}

TEST_F(StageCalibrationTest, TheSavedPictureCarriesAScaleBarOfItsLength)
{
    const RulerPicture ruler = TakeRulerPicture(dir_, 640, 480);
    CalibrationStore(CalibrationPath()).Set({200, 0.00125, QStringLiteral("200X")});
    Open(ruler.path);
    dialog_->OnMenuCommand(CPhotoMeasureDlg::kScaleBarCommand + 3); // bottom right
    const QString saved = dir_.path() + "/with-bar.bmp";
    ASSERT_TRUE(dialog_->Canvas()->SaveAnnotated(saved));
    const QImage picture(saved);
    const auto bar = ChooseScaleBar(0.0025, 640, false);
    // The longest white run in the lower right quarter is the bar.
    int longest = 0;
    for (int y = 360; y < 480; ++y) {
        int run = 0;
        for (int x = 320; x < 640; ++x) {
            run = picture.pixelColor(x, y) == Qt::white ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    // The white lies inside the bar's dark edge, a pixel at each end.
    EXPECT_NEAR(longest + 2, bar->pixels, 1.0);
    // Chosen again, the bar goes.
    dialog_->OnMenuCommand(CPhotoMeasureDlg::kScaleBarCommand + 3);
    EXPECT_FALSE(dialog_->Canvas()->ScaleBarCornerChosen());
}
