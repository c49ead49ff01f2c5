#include "heights/HeightsDlg.h"
#include "framework/FileDialogs.h"
#include "heights/HeightCalibration.h"
#include "heights/HeightView.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// A step: the left half 0 µm, the right half 340 µm (as with the nominal growth, when the
// real step is 170 µm), with an unknown stripe between.
HeightMap Step(float right = 340)
{
    HeightMap map;
    map.width = 200;
    map.height = 100;
    map.micrometresPerPixel = 2;
    map.nominal = true;
    map.micrometres.assign(200 * 100, 0);
    map.uncertainty.assign(200 * 100, 4);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            float& z = map.micrometres[static_cast<std::size_t>(y) * 200 + x];
            if (x >= 95 && x < 105) z = std::nanf("");
            else if (x >= 105) z = right;
        }
    map.frameMicrometres = {0, 170, 340};
    return map;
}

} // namespace

TEST(HeightsWindow, TwoClicksMeasureTheStepWithItsUncertaintyAndACalibrationMakesItTrue)
{
    QTemporaryDir dir;
    const QString calibrations = dir.path() + "/heights.json";
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    CHeightsDlg window(Step(), picture, 200, calibrations);
    window.PickPoint({50, 50});
    EXPECT_FALSE(window.Difference().has_value());
    window.PickPoint({150, 50});
    ASSERT_TRUE(window.Difference().has_value());
    EXPECT_NEAR(window.Difference()->first, 340, 1e-3);
    EXPECT_NEAR(window.Difference()->second, std::hypot(4.0, 4.0), 1e-3);
    EXPECT_TRUE(window.MeasurementText().startsWith(QString::fromUtf8("\u0394h = 340.0 \u00b1 5.7 \u00b5m")))
        << window.MeasurementText().toStdString();
    // In the stripe nobody knows: said so, not invented.
    window.PickPoint({50, 50});
    window.PickPoint({100, 50});
    EXPECT_FALSE(window.Difference().has_value());

    // Calibrated on the step known to be 170 µm: the heights halve, the file keeps the growth.
    window.PickPoint({50, 50});
    window.PickPoint({150, 50});
    window.askKnownHeight = [] { return std::optional<double>(170); };
    window.OnCalibrate();
    EXPECT_NEAR(window.Difference()->first, 170, 1e-3);
    EXPECT_FALSE(window.Map().nominal);
    const HeightCalibrationStore store(calibrations);
    ASSERT_TRUE(store.Find(200).has_value());
    EXPECT_NEAR(*store.Find(200), 2 * kNominalGrowthPerMicrometre, 1e-9);
    EXPECT_FALSE(store.ScaleFor(200).nominal);
    EXPECT_TRUE(store.ScaleFor(50).nominal);

    // Saved: the TIFF and a mesh, by the name's extension.
    for (const char* name : {"/h.tif", "/h.stl"}) {
        const QString path = dir.path() + name;
        const SaveFileHook previous = SetSaveFileHook([path](const SaveFileRequest&) { return path; });
        window.OnSave();
        SetSaveFileHook(previous);
        EXPECT_TRUE(QFile::exists(path)) << name;
    }
    QFile stl(dir.path() + "/h.stl");
    ASSERT_TRUE(stl.open(QIODevice::ReadOnly));
    const QByteArray bytes = stl.readAll();
    ASSERT_GE(bytes.size(), 84);
    std::uint32_t triangles = 0;
    std::memcpy(&triangles, bytes.constData() + 80, 4);
    EXPECT_EQ(bytes.size(), 84 + 50 * static_cast<qsizetype>(triangles));
    EXPECT_GT(triangles, 0u);

    // Heights from a motorised focus's positions (17 units, at the nominal 1 µm a unit):
    // calibrated on the same step, the unit is 10 µm; the growth's calibration stays, and the
    // nominal scale's wide uncertainty gives way to the calibration's.
    HeightMap motor = Step(17);
    motor.fromFocusPositions = true;
    for (float& u : motor.uncertainty) u = 0.5f;
    CHeightsDlg motorWindow(motor, picture, 200, calibrations);
    motorWindow.PickPoint({50, 50});
    motorWindow.PickPoint({150, 50});
    motorWindow.askKnownHeight = [] { return std::optional<double>(170); };
    motorWindow.OnCalibrate();
    EXPECT_NEAR(motorWindow.Difference()->first, 170, 1e-3);
    EXPECT_LT(motorWindow.Difference()->second, 10); // 5 µm each, and 2 % of 170
    const HeightCalibrationStore both(calibrations);
    ASSERT_TRUE(both.FindFocusUnit(200).has_value());
    EXPECT_NEAR(*both.FindFocusUnit(200), 10, 1e-6);
    EXPECT_NEAR(*both.Find(200), 2 * kNominalGrowthPerMicrometre, 1e-9);
}

TEST(HeightsWindow, ADamagedHeightCalibrationIsKeptAsideAndTheNominalGrowthSaidAsSuch)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/heights.json";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"growthPerMicrometre\": {\"200\": \"lots\"");
    file.close();
    const QString notice = HeightCalibrationStore::Recover(path);
    EXPECT_TRUE(notice.contains("damaged")) << notice.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(HeightCalibrationStore(path).ScaleFor(200).nominal);
    EXPECT_EQ(CHeightView::HeightColour(0, 0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(CHeightView::HeightColour(1, 0, 1), qRgb(255, 0, 0));
}
