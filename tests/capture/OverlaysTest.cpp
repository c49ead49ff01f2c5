#include "capture/Overlays.h"
#include "capture/PreviewSurface.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {
QImage Draw(const std::function<void(QPainter&, const QRect&)>& draw, QSize size = {610, 480})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(128, 128, 128));
    QPainter painter(&image);
    draw(painter, image.rect());
    return image;
}
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGrey = qRgb(128, 128, 128);
} // namespace

TEST(Overlays, DateTimeStampHasNoLeadingZeros)
{
    EXPECT_EQ(FormatDateTimeStamp(QDateTime(QDate(2009, 5, 14), QTime(9, 5, 3))), "2009-5-14 9:5:3");
}

TEST(Overlays, CrossLineThroughTheCentreEndsExclusive)
{
    OverlaySwitches on;
    on.crossLine = 1;
    const QImage image = Draw([&](QPainter& p, const QRect& r) { DrawCrossLine(p, r, on); });
    EXPECT_EQ(image.pixel(0, 240), kWhite);
    EXPECT_EQ(image.pixel(609, 240), kWhite);
    EXPECT_EQ(image.pixel(305, 0), kWhite);
    EXPECT_EQ(image.pixel(305, 479), kWhite);
    EXPECT_EQ(image.pixel(304, 239), kGrey);
}

TEST(Overlays, TicksAreLongEvery40MediumAt20Plus40kShortOtherwise)
{
    int k = 1;
    std::vector<int> halves;
    for (int i = 0; i < 21; ++i) halves.push_back(TickHalfLength(k));
    EXPECT_EQ(halves[0], 1);  // d = 0
    EXPECT_EQ(halves[5], 3);  // d = 20
    EXPECT_EQ(halves[10], 6); // d = 40
    EXPECT_EQ(halves[15], 3); // d = 60
    EXPECT_EQ(halves[20], 6); // d = 80
    EXPECT_EQ(halves[1], 1);

    OverlaySwitches on;
    on.coordinates = 1;
    const QImage image = Draw([&](QPainter& p, const QRect& r) { DrawCoordinates(p, r, on); });
    // Vertical scale: long tick at y = 240 + 40 spans x = 299..310 (end exclusive).
    EXPECT_EQ(image.pixel(299, 280), kBlack);
    EXPECT_EQ(image.pixel(310, 280), kBlack);
    EXPECT_EQ(image.pixel(311, 280), kGrey);
    EXPECT_EQ(image.pixel(302, 260), kBlack); // medium at d = 20
    EXPECT_EQ(image.pixel(301, 260), kGrey);
    EXPECT_EQ(image.pixel(305, 4), kBlack); // last step d = 236
    EXPECT_EQ(image.pixel(305, 1), kGrey);
    // Horizontal scale reaches d = 304.
    EXPECT_EQ(image.pixel(1, 239), kBlack);
    EXPECT_EQ(image.pixel(305 + 280, 234), kBlack); // long tick at d = 280
}

TEST(Overlays, FiveCirclesAtFifthsOfTheHalfHeight)
{
    OverlaySwitches on;
    on.circles = 1;
    const QImage image = Draw([&](QPainter& p, const QRect& r) { DrawCircles(p, r, on); });
    for (int r : {48, 96, 144, 192, 240}) {
        bool left = false;
        for (int x = 305 - r - 1; x <= 305 - r + 1; ++x) left |= image.pixel(x, 240) == kWhite;
        EXPECT_TRUE(left) << r;
    }
    EXPECT_EQ(image.pixel(305, 240), kGrey);

    const QImage flat = Draw([&](QPainter& p, const QRect& r) { DrawCircles(p, r, on); }, QSize(610, 1));
    EXPECT_EQ(flat.pixel(305, 0), kGrey); // cy = 0: radius 0, nothing visible
}

TEST(Overlays, TextsFollowTheirSwitchesAndPositions)
{
    OverlayTexts texts;
    const QFont font = MakeFixedFont(20, 20);
    const QImage none = Draw([&](QPainter& p, const QRect& r) {
        DrawConnectMessage(p, r, texts, font);
        DrawFullScreenHint(p, r, texts, font);
    });
    EXPECT_EQ(none, Draw([](QPainter&, const QRect&) {}));

    texts.connectMessage = "Please connect QRV-DM500 Digital Microscope";
    texts.fullScreenHint = "ESC Restore";
    texts.fullScreen = true;
    const QImage both = Draw([&](QPainter& p, const QRect& r) {
        DrawConnectMessage(p, r, texts, font);
        DrawFullScreenHint(p, r, texts, font);
    });
    int green = 0, red = 0;
    for (int y = 0; y < both.height(); ++y)
        for (int x = 0; x < both.width(); ++x) {
            const QColor c = both.pixelColor(x, y);
            if (c.green() > 200 && c.red() < 100) {
                ++green;
                EXPECT_GT(y, 200); // centred vertically
                EXPECT_LT(y, 280);
            }
            if (c.red() > 200 && c.green() < 100) {
                ++red;
                EXPECT_LT(y, 40); // top right
                EXPECT_GT(x, 400);
            }
        }
    EXPECT_GT(green, 50);
    EXPECT_GT(red, 20);
}

TEST(PreviewSurface, ScalesAFrameNearestPixelKeepingItsShape)
{
    // A 5:4 frame on a 16:10 screen keeps its shape: circles stay round.
    EXPECT_EQ(LetterboxArea(QSize(1920, 1200), QSize(1280, 1024)), QRect(210, 0, 1500, 1200));
    EXPECT_EQ(LetterboxArea(QSize(610, 480), QSize(1280, 1024)), QRect(5, 0, 600, 480));
    EXPECT_EQ(LetterboxArea(QSize(641, 480), QSize(640, 480)), QRect(0, 0, 641, 480)); // no one-pixel bar
    PreviewSurface surface;
    surface.Create(QSize(8, 4));
    // A 2 x 2 frame, top-down: first row (red, white), then (blue, green).
    Frame frame;
    frame.width = frame.height = 2;
    frame.stride = Frame::StrideOf(2);
    frame.pixels = {0,   0, 255, 255, 255, 255, 0, 0, // top row + 2 padding bytes
                    255, 0, 0,   0,   255, 0,   0, 0};
    ASSERT_TRUE(surface.Compose(frame));
    const QImage shot = surface.Snapshot();
    // A square frame in the middle 4 x 4 of an 8 x 4 surface.
    EXPECT_EQ(shot.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(2, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(5, 0), qRgb(255, 255, 255));
    EXPECT_EQ(shot.pixel(2, 3), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(5, 3), qRgb(0, 255, 0));
    EXPECT_EQ(shot.pixel(7, 3), qRgb(0, 0, 0));
    frame.pixels.resize(8);
    EXPECT_FALSE(surface.Compose(frame)); // shorter than its size says

    // Enlarged, several columns show the frame's last pixel: its last byte is the buffer's
    // last (rows of 4 pixels need no padding), and nothing after it is read.
    Frame unpadded;
    unpadded.width = 4;
    unpadded.height = 2;
    unpadded.stride = Frame::StrideOf(4);
    unpadded.pixels.assign(unpadded.Bytes(), 0);
    for (std::size_t i = unpadded.Bytes() - 3; i < unpadded.Bytes(); ++i) unpadded.pixels[i] = 200;
    surface.Create(QSize(40, 20));
    ASSERT_TRUE(surface.Compose(unpadded));
    EXPECT_EQ(surface.Snapshot().pixel(39, 19), qRgb(200, 200, 200));
}
