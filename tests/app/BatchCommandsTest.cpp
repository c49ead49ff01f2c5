#include "app/BatchCommands.h"
#include "measure/StageCalibration.h"
#include "media/PictureFile.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int code = -1;
    QString out, err;
};

// The program itself, without a display, as a script runs it; its configuration in `home`.
Outcome Program(const QStringList& arguments, const QString& home)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + "/config");
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(PROGRAM_PATH), arguments);
    program.waitForFinished(60000);
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
}

} // namespace

TEST(BatchCommands, ConvertWritesACalibratedTiffWithoutADisplay)
{
    QTemporaryDir home;
    const QString config = home.path() + "/config/QRV/QRV-DM500";
    QDir().mkpath(config);
    CalibrationStore store(config + "/calibrations.json");
    ASSERT_TRUE(store.Set({200, 0.00125, QStringLiteral("200X")}));
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(qRgb(10, 120, 230));
    const QString still = home.path() + "/Still_2026-12-07_101010_200X_N0001.bmp";
    ASSERT_TRUE(picture.save(still, "BMP"));

    // The magnification in the name: its calibration, for a picture half as wide.
    const QString tiff = home.path() + "/still.tif";
    Outcome run = Program({"--convert", tiff, still}, home.path());
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("wrote " + tiff)) << run.err.toStdString(); // progress on standard error
    PictureMetadata carried;
    const QImage converted = ReadPictureFile(tiff, nullptr, &carried);
    EXPECT_EQ(converted, picture);
    EXPECT_NEAR(carried.millimetresPerPixel, 0.0025, 1e-9);
    EXPECT_EQ(carried.magnification, 200);

    // The scale a TIFF carries goes on into a PNG.
    run = Program({"--convert", home.path() + "/again.png", tiff}, home.path());
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    ReadPictureFile(home.path() + "/again.png", nullptr, &carried);
    EXPECT_NEAR(carried.millimetresPerPixel, 0.0025, 1e-6);

    // A magnification without a calibration, an input that is no picture: 1 with the reason.
    run = Program({"--convert", home.path() + "/x.tif", still, "--magnification", "50"}, home.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("no calibration for 50X")) << run.err.toStdString();
    run = Program({"--convert", home.path() + "/x.tif", home.path() + "/missing.bmp"}, home.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("cannot read")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.path() + "/x.tif"));

    // Wrongly written: 2 with the usage; --help: the usage on standard output, 0.
    for (const QStringList& wrong : {QStringList{"--convert", tiff}, QStringList{"--convert", home.path() + "/x.gif", still},
                                     QStringList{"--convert", tiff, still, "--magnification", "many"}}) {
        run = Program(wrong, home.path());
        EXPECT_EQ(run.code, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("Usage: qrv-dm500")) << wrong.join(' ').toStdString();
    }
    run = Program({"--help"}, home.path());
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.contains("--convert OUT IN [--magnification N]"));
}
