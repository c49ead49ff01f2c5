#include "app/BatchCommands.h"
#include "capture/backend/ReliefSlide.h"
#include "capture/backend/SlideRenderer.h"
#include "measure/StageCalibration.h"
#include "media/PictureFile.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <tiffio.h>
#include <unistd.h>

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
    for (const QStringList& wrong :
         {QStringList{"--convert", tiff}, QStringList{"--convert", home.path() + "/x.gif", still},
          QStringList{"--convert", tiff, still, "--magnification", "many"}}) {
        run = Program(wrong, home.path());
        EXPECT_EQ(run.code, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("Usage: qrv-dm500")) << wrong.join(' ').toStdString();
    }
    run = Program({"--help"}, home.path());
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.contains("--convert OUT IN [--magnification N]"));
}

TEST(BatchCommands, StackMergesPicturesWithoutADisplay)
{
    QTemporaryDir home;
    // Two pictures, each sharp in one half (fine stripes) and plain in the other (the stripes
    // blurred to their mean, as out of focus).
    auto half = [&](bool left, const QString& name) {
        QImage picture(160, 120, QImage::Format_RGB32);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) {
                const bool detailed = (x < 80) == left;
                const int grey = !detailed ? 165 : (x / 2 + y / 2) % 2 ? 220 : 110;
                picture.setPixel(x, y, qRgb(grey, grey, grey));
            }
        picture.save(home.path() + "/" + name, "BMP");
        return home.path() + "/" + name;
    };
    const QString a = half(true, "a.bmp"), b = half(false, "b.bmp");
    const QString out = home.path() + "/out.png", depth = home.path() + "/depth.png";
    Outcome run = Program({"--stack", out, a, b, "--depth-map", depth}, home.path());
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("stacked 2 of 2")) << run.err.toStdString();
    const QImage merged(out);
    ASSERT_FALSE(merged.isNull());
    EXPECT_EQ(qGray(merged.pixel(2, 0)), 220); // the detail of both halves
    EXPECT_EQ(qGray(merged.pixel(82, 0)), 220);
    const QImage depthMap(depth);
    EXPECT_EQ(qGray(depthMap.pixel(20, 60)), 0);    // from the first
    EXPECT_EQ(qGray(depthMap.pixel(140, 60)), 255); // from the last

    // Pictures of different sizes: 1 with the reason, nothing written; bad usage: 2.
    QImage(100, 100, QImage::Format_RGB32).save(home.path() + "/small.bmp", "BMP");
    run = Program({"--stack", home.path() + "/x.png", a, home.path() + "/small.bmp"}, home.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("of one size")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.path() + "/x.png"));
    EXPECT_EQ(Program({"--stack", home.path() + "/x.png"}, home.path()).code, 2);
    EXPECT_EQ(Program({"--stack", home.path() + "/x.png", a, "--depth-map"}, home.path()).code, 2);
}

TEST(BatchCommands, MosaicPlacesPicturesTakenWhileSlidingAndSaysWhichItCouldNot)
{
    QTemporaryDir home;
    SlideRenderer stage;
    stage.Prepare(320, 240, Slide::Stage);
    auto take = [&](StagePosition where, const QString& name, bool blank = false) {
        std::vector<std::uint8_t> pixels(stage.FrameBytes());
        SimulatedOptics optics;
        optics.stage = where;
        optics.blankField = blank;
        stage.RenderFrame(0, pixels.data(), nullptr, optics);
        QImage picture(pixels.data(), 320, 240, static_cast<qsizetype>(SlideRenderer::StrideOf(320)),
                       QImage::Format_BGR888);
        picture.save(home.path() + "/" + name, "BMP");
        return home.path() + "/" + name;
    };
    // Across the slide and down, each a third of a field on; a blank one among them.
    const std::vector<StagePosition> path = {{1000, 1000}, {1550, 1000}, {2100, 1000}, {2100, 1400}, {1550, 1400}};
    QStringList inputs;
    for (std::size_t i = 0; i < path.size(); ++i) {
        inputs << take(path[i], QStringLiteral("p%1.bmp").arg(i));
        if (i == 2) inputs << take(path[i], QStringLiteral("glass.bmp"), true);
    }
    const QString out = home.path() + "/mosaic.tif";
    Outcome run = Program(QStringList{"--mosaic", out} + inputs, home.path());
    // Written from the others; 1 says an input was left out.
    ASSERT_EQ(run.code, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("read 6 of 6")) << run.err.toStdString();
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << run.out.toStdString();
    EXPECT_TRUE(lines[3].startsWith("not placed " + inputs[3] + ": nothing to match")) << lines[3].toStdString();
    const SlideRenderer::Offset origin = stage.StageOffset(path.front());
    std::size_t next = 0;
    for (const QString& line : lines) {
        if (line.startsWith("not placed")) continue;
        const QStringList words = line.split(' ');
        ASSERT_EQ(words.size(), 4) << line.toStdString();
        EXPECT_EQ(words[0], "placed");
        const SlideRenderer::Offset truth = stage.StageOffset(path[next++]);
        // The first picture is at the mosaic's top-left here (the path goes right and down).
        EXPECT_NEAR(words[2].toDouble(), truth.x - origin.x, 1.0) << line.toStdString();
        EXPECT_NEAR(words[3].toDouble(), truth.y - origin.y, 1.0) << line.toStdString();
    }
    const QImage mosaic = ReadPictureFile(out, nullptr, nullptr);
    EXPECT_NEAR(mosaic.width(), 320 + stage.StageOffset({2100, 0}).x - origin.x, 2);

    // Another size among them: 1 with the reason; bad usage: 2.
    QImage(100, 100, QImage::Format_RGB32).save(home.path() + "/small.bmp", "BMP");
    run = Program({"--mosaic", home.path() + "/x.png", inputs[0], home.path() + "/small.bmp"}, home.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("of one size")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.path() + "/x.png"));
    EXPECT_EQ(Program({"--mosaic", home.path() + "/x.gif", inputs[0]}, home.path()).code, 2);
    EXPECT_EQ(Program({"--mosaic", home.path() + "/x.png"}, home.path()).code, 2);
}

TEST(BatchCommands, AnOutputThatIsAnInputIsRefusedUnderAnyNameAndTheInputStays)
{
    QTemporaryDir home;
    QImage picture(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) picture.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, (x * y) % 256));
    const QString a = home.path() + "/a.png", b = home.path() + "/b.png", q = home.path() + "/q.jpg";
    ASSERT_TRUE(picture.save(a) && picture.save(b) && picture.save(q, "JPEG"));
    QDir(home.path()).mkdir("sub");
    ASSERT_TRUE(QFile::link(a, home.path() + "/link.png"));
    ASSERT_EQ(::link(QFile::encodeName(a).constData(), QFile::encodeName(home.path() + "/hard.png").constData()), 0);
    auto bytes = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes(a), jpeg = bytes(q);

    const QList<QStringList> refused = {
        {"--stack", a, a, b},
        {"--stack", home.path() + "/sub/../a.png", a, b},
        {"--stack", home.path() + "/link.png", a, b},
        {"--stack", home.path() + "/hard.png", a, b},
        {"--stack", home.path() + "/out.png", a, b, "--depth-map", b},
        {"--stack", home.path() + "/out.png", a, b, "--depth-map", home.path() + "/out.png"},
        {"--mosaic", b, a, b},
        {"--convert", q, q},
        {"--convert", home.path() + "/link.png", a}};
    for (const QStringList& arguments : refused) {
        const Outcome run = Program(arguments, home.path());
        EXPECT_EQ(run.code, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("is the input") || run.err.contains("are one file")) << run.err.toStdString();
    }
    EXPECT_EQ(bytes(a), before);
    EXPECT_EQ(bytes(q), jpeg);
    EXPECT_FALSE(QFile::exists(home.path() + "/out.png"));
    // Nothing but the inputs and the links: no temporary file left beside them.
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files).size(), 5);
}

TEST(BatchCommands, AStackOfPicturesOfDifferentFieldsLeavesOutEachThatIsNotPartOfTheSeries)
{
    QTemporaryDir home;
    SlideRenderer stage;
    stage.Prepare(320, 240, Slide::Stage);
    auto take = [&](StagePosition where, const QString& name) {
        std::vector<std::uint8_t> pixels(stage.FrameBytes());
        SimulatedOptics optics;
        optics.stage = where;
        stage.RenderFrame(0, pixels.data(), nullptr, optics);
        QImage picture(pixels.data(), 320, 240, static_cast<qsizetype>(SlideRenderer::StrideOf(320)),
                       QImage::Format_BGR888);
        picture.save(home.path() + "/" + name, "BMP");
        return home.path() + "/" + name;
    };
    // Two views of one field (a hair apart, as a focus knob moves it), then one of a field far
    // away, and a damaged file.
    const QString first = take({2000, 1500}, "f1.bmp"), second = take({2004, 1502}, "f2.bmp");
    const QString elsewhere = take({6000, 300}, "far.bmp");
    const QString damaged = home.path() + "/damaged.bmp";
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("BM this is no picture");
    file.close();
    const QString out = home.path() + "/out.png";
    Outcome run = Program({"--stack", out, first, second, elsewhere, damaged}, home.path());
    EXPECT_EQ(run.code, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("left out " + elsewhere + ": not part of the focus series")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("left out " + damaged + ": cannot read it")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("left out " + second)) << run.out.toStdString();
    EXPECT_TRUE(QFile::exists(out));

    // Sixty... or here three pictures, each of another field: nothing to stack, nothing written.
    const QString out2 = home.path() + "/out2.png";
    run = Program({"--stack", out2, first, elsewhere, take({300, 2900}, "far2.bmp")}, home.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("fewer than two pictures")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(out2));
}

TEST(BatchCommands, AnUnknownOptionGetsTheUsageAndTwoRatherThanTheWindow)
{
    QTemporaryDir home;
    Outcome run = Program({"--frobnicate"}, home.path());
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(run.err.contains("unknown option --frobnicate")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Usage: qrv-dm500")) << run.err.toStdString();
    run = Program({"--version"}, home.path());
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.startsWith("QRV-DM500 ")) << run.out.toStdString();
    // The program's own options and Qt's (with their values) start the window.
    EXPECT_EQ(UnknownWindowOption({"qrv-dm500", "--simulate=stage,path", "-platform", "offscreen", "--style=Fusion",
                                   "-reverse", "-qwindowtitle", "-x-"}),
              QString());
    EXPECT_EQ(UnknownWindowOption({"qrv-dm500", "-reverse=1"}), "-reverse=1");
    EXPECT_EQ(UnknownWindowOption({"qrv-dm500", "--simulate", "-h2"}), "-h2");
}

TEST(BatchCommands, HeightsWritesAFloatTiffAndAMeshFromPicturesTakenAtDifferentFocus)
{
    QTemporaryDir home;
    ReliefSlide slide;
    slide.Prepare(640, 512);
    QStringList pictures;
    for (const int focus : {8, 17, 26, 38, 47, 60, 71, 80, 88, 96}) {
        QImage frame(640, 512, QImage::Format_BGR888);
        slide.Render(focus, frame.bits(), static_cast<std::size_t>(frame.bytesPerLine()));
        pictures
            << QStringLiteral("%1/Still_2026-12-09_101010_200X_N%2.png").arg(home.path()).arg(focus, 4, 10, QChar('0'));
        ASSERT_TRUE(frame.save(pictures.back()));
    }
    const QString tiff = home.path() + "/heights.tif", mesh = home.path() + "/surface.ply";
    Outcome run = Program(QStringList{"--heights", tiff} + pictures + QStringList{"--mesh", mesh}, home.path());
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("nominal growth")) << run.err.toStdString();
    // A 32-bit float TIFF: heights in micrometres, the components far above the board.
    TIFF* t = TIFFOpen(QFile::encodeName(tiff).constData(), "r");
    ASSERT_NE(t, nullptr);
    std::uint16_t bits = 0, format = 0;
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(t, TIFFTAG_SAMPLEFORMAT, &format);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(format, SAMPLEFORMAT_IEEEFP);
    std::vector<float> row(640);
    auto heightAt = [&](int x, int y) {
        TIFFReadScanline(t, row.data(), static_cast<std::uint32_t>(y), 0);
        return row[static_cast<std::size_t>(x)];
    };
    const float component = heightAt(140, 120); // the first component's middle (height 88)
    const float board = heightAt(140, 190);     // the board below it (about 17)
    TIFFClose(t);
    EXPECT_NEAR(component - board, (88 - 17) * ReliefSlide::kMicrometresPerFocusStep, 80);
    // The mesh: a binary PLY with colours.
    QFile ply(mesh);
    ASSERT_TRUE(ply.open(QIODevice::ReadOnly));
    const QByteArray head = ply.read(400);
    EXPECT_TRUE(head.startsWith("ply\nformat binary_little_endian 1.0\n"));
    EXPECT_TRUE(head.contains("property uchar red"));
    // Too few pictures, and an output that is an input.
    EXPECT_EQ(Program({"--heights", home.path() + "/x.tif", pictures[0], pictures[1]}, home.path()).code, 1);
    EXPECT_FALSE(QFile::exists(home.path() + "/x.tif"));
    EXPECT_EQ(Program(QStringList{"--heights", pictures[0]} + pictures, home.path()).code, 2);
    EXPECT_EQ(Program({"--heights", home.path() + "/x.png", pictures[0], pictures[1], pictures[2]}, home.path()).code,
              2);
}
