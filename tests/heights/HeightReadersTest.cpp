// Other programs read what the heights export writes: ImageJ the TIFF (its pixel size and
// heights), admesh the STL, assimp the PLY (with its colours).
#include "heights/HeightExport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// 200 x 160 at 2.5 µm a pixel: a block 120 µm high on a flat floor, and an unknown corner.
HeightMap BlockOnAFloor()
{
    HeightMap map;
    map.width = 200;
    map.height = 160;
    map.micrometresPerPixel = 2.5;
    map.nominal = false;
    map.micrometres.assign(200 * 160, 0);
    map.uncertainty.assign(200 * 160, 3);
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 200; ++x) {
            float& z = map.micrometres[static_cast<std::size_t>(y) * 200 + x];
            if (x < 20 && y < 20) z = std::nanf("");
            else if (x >= 60 && x < 140 && y >= 40 && y < 120) z = 120;
        }
    map.frameMicrometres = {0, 60, 120};
    return map;
}

struct Outcome {
    int code = -1;
    QString out;
};

Outcome RunProgram(const QString& program, const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Outcome run;
    if (!process.waitForStarted(10000)) {
        run.out = program + " did not start (scripts/setup installs it)";
        return run;
    }
    process.waitForFinished(timeoutMs);
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAll());
    return run;
}

// The number after `label` (and a colon or an equals sign) in a program's report; -1 when it
// is not there.
double NumberAfter(const QString& text, const QString& label)
{
    const QRegularExpression number(QRegularExpression::escape(label) +
                                    R"(\s*[:=]?\s*(-?[0-9]+(?:\.[0-9]+)?(?:[eE][+-]?[0-9]+)?))");
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

} // namespace

TEST(HeightReaders, ImageJReadsTheHeightTiffsScaleAndHeights)
{
    QTemporaryDir dir;
    const QString tiff = dir.path() + "/heights.tif";
    QString error;
    ASSERT_TRUE(WriteHeightTiff(tiff, BlockOnAFloor(), &error)) << error.toStdString();
    const Outcome imagej = RunProgram("xvfb-run", {"-a", "java", "-jar", "/usr/share/java/ij.jar", "-batch",
                                                   SOURCE_DIR "/tests/heights/imagej_heights.ijm", tiff});
    ASSERT_EQ(imagej.code, 0) << imagej.out.toStdString();
    EXPECT_TRUE(imagej.out.contains("bits 32")) << imagej.out.toStdString();
    EXPECT_NEAR(NumberAfter(imagej.out, "pixel "), 2.5, 1e-6) << imagej.out.toStdString();
    EXPECT_TRUE(imagej.out.contains(QRegularExpression("unit (µm|microns?)"))) << imagej.out.toStdString();
    EXPECT_NEAR(NumberAfter(imagej.out, "block "), 120, 1e-3) << imagej.out.toStdString();
    EXPECT_NEAR(NumberAfter(imagej.out, "floor "), 0, 1e-3) << imagej.out.toStdString();
    EXPECT_TRUE(imagej.out.contains("unknown NaN")) << imagej.out.toStdString();
}

TEST(HeightReaders, AdmeshReadsTheStlAndAssimpThePlyWithItsColours)
{
    QTemporaryDir dir;
    const HeightMap map = BlockOnAFloor();
    QImage colours(200, 160, QImage::Format_RGB32);
    colours.fill(qRgb(200, 120, 40));
    QString error;
    const QString stl = dir.path() + "/heights.stl", ply = dir.path() + "/heights.ply";
    ASSERT_TRUE(WriteHeightMesh(stl, map, colours, &error)) << error.toStdString();
    ASSERT_TRUE(WriteHeightMesh(ply, map, colours, &error)) << error.toStdString();

    // admesh: every facet read, none degenerate, and the block's 120 µm in its extent (in mm
    // or µm, whichever the file's unit is: the ratio of height to width holds either way).
    const Outcome admesh = RunProgram("admesh", {"--exact", "--normal-directions", "--normal-values", stl});
    ASSERT_EQ(admesh.code, 0) << admesh.out.toStdString();
    const double facets = NumberAfter(admesh.out, "Number of facets");
    EXPECT_GT(facets, 10000) << admesh.out.toStdString();
    EXPECT_EQ(NumberAfter(admesh.out, "Degenerate facets"), 0) << admesh.out.toStdString();
    const double width = NumberAfter(admesh.out, "Max X =") - NumberAfter(admesh.out, "Min X =");
    const double height = NumberAfter(admesh.out, "Max Z =") - NumberAfter(admesh.out, "Min Z =");
    EXPECT_NEAR(height / width, 120.0 / (199 * 2.5), 0.01) << admesh.out.toStdString();

    EXPECT_EQ(NumberAfter(admesh.out, "Facets reversed"), 0) << admesh.out.toStdString();
    EXPECT_EQ(NumberAfter(admesh.out, "Normals fixed"), 0) << admesh.out.toStdString();

    // assimp: the same surface as vertices and faces, and the picture's colour at each vertex.
    const Outcome assimp = RunProgram("assimp", {"info", ply});
    ASSERT_EQ(assimp.code, 0) << assimp.out.toStdString();
    EXPECT_GT(NumberAfter(assimp.out, "Vertices:"), 10000) << assimp.out.toStdString();
    EXPECT_EQ(NumberAfter(assimp.out, "Faces:"), facets) << assimp.out.toStdString();
    const QString dump = dir.path() + "/heights.assxml";
    const Outcome dumped = RunProgram("assimp", {"dump", ply, dump, "-x"});
    ASSERT_EQ(dumped.code, 0) << dumped.out.toStdString();
    QFile xml(dump);
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    const QString vertexColours = QString::fromUtf8(xml.readAll()).section("<Colors", 1, 1).section(">", 1, 1);
    EXPECT_TRUE(vertexColours.trimmed().startsWith("0.784314  0.470588  0.156863"))
        << vertexColours.left(200).toStdString();
}
