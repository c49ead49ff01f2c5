#include "media/ImageJOverlay.h"
#include "media/TiffFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<OverlayShape> EveryKind()
{
    using K = OverlayShape::Kind;
    std::vector<OverlayShape> shapes;
    shapes.push_back({K::Line, {{10.25, 20.5}, {300.75, 41.125}}, "Line", {}, 0xffff0000u, 2, 0});
    shapes.push_back({K::Polyline, {{1.5, 2.5}, {40, 9.25}, {80.5, 60}}, {}, {}, 0, 0, 0});
    shapes.push_back({K::Polygon, {{5, 5}, {50, 10}, {30.5, 40.25}}, "Polygon", {}, 0xff00ff00u, 1, 0});
    shapes.push_back({K::Angle, {{10, 40}, {30, 10}, {50, 40}}, {}, {}, 0, 0, 0});
    shapes.push_back({K::Rectangle, {{12.5, 7}, {60, 33.5}}, {}, {}, 0, 0, 0});
    shapes.push_back({K::Oval, {{20, 10}, {50, 30}}, "Radius circle", {}, 0, 0, 0});
    shapes.push_back({K::Points, {{3, 4}, {5.5, 6.5}}, {}, {}, 0, 0, 0});
    shapes.push_back({K::Text, {{8, 9}}, {}, QStringLiteral("0.100 mm \u00b5"), 0xff0000ffu, 0, 14});
    return shapes;
}

} // namespace

TEST(ImageJOverlay, EveryKindOfShapeComesBackAsItWasInEitherByteOrder)
{
    const std::vector<OverlayShape> shapes = EveryKind();
    for (const OverlayShape& shape : shapes) {
        const std::optional<OverlayShape> back = DecodeImageJRoi(EncodeImageJRoi(shape));
        ASSERT_TRUE(back.has_value()) << static_cast<int>(shape.kind);
        EXPECT_EQ(*back, shape) << static_cast<int>(shape.kind);
    }
    for (const bool bigEndian : {false, true}) {
        const ImageJMetadata block = EncodeImageJOverlay(shapes, bigEndian);
        ASSERT_EQ(block.counts.size(), shapes.size() + 1);
        EXPECT_EQ(block.counts[0], 12u); // "IJIJ", then one kind of part and its count
        EXPECT_EQ(DecodeImageJOverlay(block.counts, block.bytes, bigEndian), shapes);
        EXPECT_TRUE(DecodeImageJOverlay(block.counts, block.bytes, !bigEndian).empty()); // the magic is read in order
    }
}

TEST(ImageJOverlay, CutOrLyingBlocksGiveWhatIsWholeAndNothingMore)
{
    const std::vector<OverlayShape> shapes = EveryKind();
    const ImageJMetadata block = EncodeImageJOverlay(shapes, false);
    // Cut after the third shape: the three whole ones.
    qsizetype third = 0;
    for (std::size_t i = 0; i < 4; ++i) third += block.counts[i];
    EXPECT_EQ(DecodeImageJOverlay(block.counts, block.bytes.left(third + 10), false).size(), 3u);
    // Sizes that claim more than there is, a header that is too large, no counts at all.
    std::vector<std::uint32_t> lying = block.counts;
    lying[1] = 0x7fffffff;
    EXPECT_TRUE(DecodeImageJOverlay(lying, block.bytes, false).empty());
    lying = block.counts;
    lying[0] = 100000;
    EXPECT_TRUE(DecodeImageJOverlay(lying, block.bytes, false).empty());
    EXPECT_TRUE(DecodeImageJOverlay({}, block.bytes, false).empty());
    // A ROI whose point count runs past its end, and one whose name does.
    QByteArray polygon = EncodeImageJRoi(shapes[2]);
    polygon[16] = static_cast<char>(0x7f);
    EXPECT_FALSE(DecodeImageJRoi(polygon).has_value());
    QByteArray named = EncodeImageJRoi(shapes[0]);
    named.chop(4);
    const std::optional<OverlayShape> unnamed = DecodeImageJRoi(named);
    ASSERT_TRUE(unnamed.has_value());
    EXPECT_TRUE(unnamed->name.isEmpty());
}

TEST(ImageJOverlay, ATiffKeepsItsOverlayAndReadsImageJsOwn)
{
    QTemporaryDir folder;
    const QString path = folder.path() + "/shapes.tif";
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(Qt::white);
    PictureMetadata metadata;
    metadata.millimetresPerPixel = 0.0005;
    metadata.overlay = EveryKind();
    QString error;
    ASSERT_TRUE(WriteTiffFile(path, picture, metadata, &error)) << error.toStdString();
    PictureMetadata read;
    ASSERT_FALSE(ReadTiffFile(path, 1 << 24, &error, &read).isNull()) << error.toStdString();
    EXPECT_EQ(read.overlay, metadata.overlay);
    EXPECT_NEAR(read.millimetresPerPixel, 0.0005, 1e-9);

    // Saved by ImageJ 1.53 (big-endian): a line, an oval, a polygon, an angle and three
    // points, at 0.5 micron a pixel.
    PictureMetadata imageJ;
    ASSERT_FALSE(ReadTiffFile(TEST_DATA_DIR "/imagej_overlay.tif", 1 << 24, &error, &imageJ).isNull());
    ASSERT_EQ(imageJ.overlay.size(), 5u);
    EXPECT_EQ(imageJ.overlay[0].kind, OverlayShape::Kind::Line);
    ASSERT_EQ(imageJ.overlay[0].points.size(), 2u);
    EXPECT_NEAR(imageJ.overlay[0].points[0].x(), 10.5, 1e-4);
    EXPECT_NEAR(imageJ.overlay[0].points[1].y(), 40, 1e-4);
    EXPECT_EQ(imageJ.overlay[1].kind, OverlayShape::Kind::Oval);
    EXPECT_EQ(imageJ.overlay[2].kind, OverlayShape::Kind::Polygon);
    EXPECT_EQ(imageJ.overlay[2].points.size(), 3u);
    EXPECT_EQ(imageJ.overlay[3].kind, OverlayShape::Kind::Angle);
    EXPECT_EQ(imageJ.overlay[4].kind, OverlayShape::Kind::Points);
    EXPECT_EQ(imageJ.overlay[4].points.size(), 3u);
    EXPECT_NEAR(imageJ.millimetresPerPixel, 0.0005, 1e-9);
}
