#include "processing/FocusStack.h"
#include "RealStack.h"
#include "capture/backend/ReliefSlide.h"
#include "capture/backend/SlideRenderer.h"
#include "CameraNoise.h"

#include <opencv2/imgproc.hpp>

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// A picture of fine detail (a checker of 2-pixel squares in varying shades).
QImage Detail(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = ((x / 2 + y / 2) % 2) ? 200 - (x * 7 + y * 3) % 60 : 40 + (x * 5 + y * 11) % 50;
            picture.setPixel(x, y, qRgb(v, v, v));
        }
    return picture;
}

QImage Blurred(const QImage& picture, int radius)
{
    // A box blur, by scaling down and back up (enough to remove 2-pixel detail).
    const QImage small = picture.scaled(picture.width() / radius, picture.height() / radius, Qt::IgnoreAspectRatio,
                                        Qt::SmoothTransformation);
    return small.scaled(picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The variance of the Laplacian over a region: how sharp it is.
double Sharpness(const QImage& picture, const QRect& region)
{
    double sum = 0, squares = 0;
    int count = 0;
    for (int y = region.top() + 1; y < region.bottom(); ++y)
        for (int x = region.left() + 1; x < region.right(); ++x) {
            const int l = 4 * qGray(picture.pixel(x, y)) - qGray(picture.pixel(x - 1, y)) -
                          qGray(picture.pixel(x + 1, y)) - qGray(picture.pixel(x, y - 1)) -
                          qGray(picture.pixel(x, y + 1));
            sum += l;
            squares += static_cast<double>(l) * l;
            ++count;
        }
    const double mean = sum / count;
    return squares / count - mean * mean;
}

QImage RenderRelief(const ReliefSlide& specimen, int focus)
{
    QImage frame(specimen.Width(), specimen.Height(), QImage::Format_BGR888);
    specimen.Render(focus, frame.bits(), static_cast<std::size_t>(frame.bytesPerLine()));
    return frame;
}

// How far the stack's alignment of the last picture against the first is from the truth (a
// pure scale about the centre), at the corners, in pixels.
double AlignmentError(const FocusStack& stack, const std::vector<int>& focuses)
{
    const auto t = stack.LastTransform();
    const double scale = ReliefSlide::ScaleAt(focuses.back()) / ReliefSlide::ScaleAt(focuses.front());
    const double cx = (640 - 1) / 2.0, cy = (512 - 1) / 2.0;
    double worst = 0;
    for (const auto& [x, y] :
         {std::pair{20.0, 20.0}, std::pair{620.0, 20.0}, std::pair{20.0, 490.0}, std::pair{620.0, 490.0}}) {
        const double tx = t[0] * x + t[1] * y + t[2], ty = t[3] * x + t[4] * y + t[5];
        const double ex = cx + scale * (x - cx), ey = cy + scale * (y - cy);
        worst = std::max(worst, std::hypot(tx - ex, ty - ey));
    }
    return worst;
}

// The share of textured pixels whose source picture is the one focused at their height (to
// within one step).
double DepthRight(const FocusStack& stack, const ReliefSlide& specimen, const std::vector<int>& focuses)
{
    const double cx = (640 - 1) / 2.0, cy = (512 - 1) / 2.0;
    const double firstScale = ReliefSlide::ScaleAt(focuses.front());
    const double referenceScale = ReliefSlide::ScaleAt(ReliefSlide::kReferenceFocus);
    int textured = 0, right = 0;
    for (int y = 16; y < 512 - 16; y += 2)
        for (int x = 16; x < 640 - 16; x += 2) {
            // The point under (x, y) of the first picture, in the reference picture's pixels.
            const int rx = static_cast<int>(std::lround(cx + (x - cx) * referenceScale / firstScale));
            const int ry = static_cast<int>(std::lround(cy + (y - cy) * referenceScale / firstScale));
            if (!specimen.IsTextured(rx, ry)) continue;
            const int truth = static_cast<int>(std::lround(specimen.HeightAt(rx, ry) / 10.0));
            ++textured;
            if (std::abs(stack.SourceAt(x, y) - truth) <= 1) ++right;
        }
    return static_cast<double>(right) / std::max(1, textured);
}

// How far a stack's result (first picture at focus 0) is from the board sharp everywhere, in
// grey levels: away from the components' edges, and within 8 px of them (`besideEdges`).
double FromTheSharpBoard(const QImage& stacked, const ReliefSlide& specimen, double* besideEdges = nullptr)
{
    QImage truth(640, 512, QImage::Format_BGR888);
    specimen.RenderSharp(0, truth.bits(), static_cast<std::size_t>(truth.bytesPerLine()));
    truth = truth.convertToFormat(QImage::Format_RGB32);
    const QImage result = stacked.convertToFormat(QImage::Format_RGB32);
    const double cx = (640 - 1) / 2.0, cy = (512 - 1) / 2.0;
    const double toReference = ReliefSlide::ScaleAt(ReliefSlide::kReferenceFocus) / ReliefSlide::ScaleAt(0);
    double away = 0, beside = 0;
    int awayCount = 0, besideCount = 0;
    for (int y = 32; y < 480; ++y)
        for (int x = 40; x < 600; ++x) {
            const int rx = static_cast<int>(std::lround(cx + (x - cx) * toReference));
            const int ry = static_cast<int>(std::lround(cy + (y - cy) * toReference));
            const int height = specimen.HeightAt(rx, ry);
            bool nearEdge = false;
            for (int dy = -8; dy <= 8 && !nearEdge; dy += 8)
                for (int dx = -8; dx <= 8 && !nearEdge; dx += 8)
                    nearEdge = std::abs(specimen.HeightAt(rx + dx, ry + dy) - height) > 20;
            const int difference = std::abs(qGray(result.pixel(x, y)) - qGray(truth.pixel(x, y)));
            (nearEdge ? beside : away) += difference;
            ++(nearEdge ? besideCount : awayCount);
        }
    if (besideEdges) *besideEdges = beside / std::max(1, besideCount);
    return away / std::max(1, awayCount);
}

} // namespace

TEST(FocusStack, TwoPicturesEachSharpInOneHalfGiveOneSharpInBoth)
{
    const QImage sharp = Detail(200, 120);
    const QImage blurred = Blurred(sharp, 4);
    QImage leftSharp = blurred, rightSharp = blurred;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x) (x < 100 ? leftSharp : rightSharp).setPixel(x, y, sharp.pixel(x, y));
    FocusStack stack({false, true});
    EXPECT_EQ(stack.Add(leftSharp), FocusStack::Added::Sharper);
    EXPECT_EQ(stack.Add(rightSharp), FocusStack::Added::Sharper);
    const QImage result = stack.Result();
    for (const QRect half : {QRect(10, 10, 80, 100), QRect(110, 10, 80, 100)})
        EXPECT_GT(Sharpness(result, half), 0.95 * Sharpness(sharp, half));
    EXPECT_EQ(stack.SourceAt(50, 60), 0);
    EXPECT_EQ(stack.SourceAt(150, 60), 1);
}

TEST(FocusStack, IdenticalPicturesGiveThatPictureAndOtherSizesAreRefused)
{
    const QImage picture = Detail(120, 80);
    FocusStack stack({true, true});
    EXPECT_EQ(stack.Add(picture), FocusStack::Added::Sharper);
    EXPECT_EQ(stack.Add(picture), FocusStack::Added::NothingNew); // adds nothing: not counted
    EXPECT_EQ(stack.Add(Detail(121, 80)), FocusStack::Added::WrongSize);
    EXPECT_EQ(stack.Counted(), 1);
    EXPECT_EQ(stack.Result().convertToFormat(QImage::Format_RGB32), picture);
}

// Through the simulated relief specimen: eleven pictures from focus 0 to 100, each a little
// larger than the one before. Measured against the specimen's own heights and scale.
TEST(FocusStack, TheReliefSlideComesOutSharpWithTheRightDepthAndAligned)
{
    ReliefSlide specimen;
    specimen.Prepare(640, 512);
    std::vector<int> focuses;
    for (int f = 0; f <= 100; f += 10) focuses.push_back(f);
    std::vector<QImage> frames;
    FocusStack stack({true, true, false, true});
    for (const int f : focuses) {
        frames.push_back(RenderRelief(specimen, f));
        // Every picture of the series, however blurred, is found to belong to it.
        EXPECT_NE(stack.Add(frames.back()), FocusStack::Added::Unrelated) << "focus " << f;
    }

    const double cx = (640 - 1) / 2.0, cy = (512 - 1) / 2.0;
    const double worst = AlignmentError(stack, focuses);
    std::printf("alignment error at the corners: %.3f px\n", worst);
    EXPECT_LE(worst, 0.5);
    const double depthRight = DepthRight(stack, specimen, focuses);
    std::printf("depth map right (within one step) for %.1f %% of textured pixels\n", 100 * depthRight);
    EXPECT_GE(depthRight, 0.95);
    const double firstScale = ReliefSlide::ScaleAt(focuses.front());

    // Sharpness: every textured region at least 90 % as sharp as its sharpest picture, each
    // picture brought onto the first one's pixels by its true scale (as the stack brings
    // them by the scale it found).
    std::vector<QImage> onFirst;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const double ratio = ReliefSlide::ScaleAt(focuses[k]) / firstScale;
        const cv::Mat source(frames[k].height(), frames[k].width(), CV_8UC3, frames[k].bits(),
                             static_cast<std::size_t>(frames[k].bytesPerLine()));
        const cv::Matx23d map(ratio, 0, cx * (1 - ratio), 0, ratio, cy * (1 - ratio));
        cv::Mat warped;
        cv::warpAffine(source, warped, cv::Mat(map), source.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        onFirst.push_back(
            QImage(warped.data, warped.cols, warped.rows, static_cast<qsizetype>(warped.step), QImage::Format_BGR888)
                .copy());
    }
    const QImage result = stack.Result();
    double weakest = 1;
    QRect weakestRegion;
    for (int y = 32; y + 40 < 512 - 32; y += 48)
        for (int x = 32; x + 40 < 640 - 32; x += 48) {
            const QRect region(x, y, 40, 40);
            bool allTextured = true;
            for (int yy = y; yy < y + 40 && allTextured; yy += 4)
                for (int xx = x; xx < x + 40 && allTextured; xx += 4)
                    allTextured = specimen.IsTextured(static_cast<int>(std::lround(cx + (xx - cx) / firstScale)),
                                                      static_cast<int>(std::lround(cy + (yy - cy) / firstScale)));
            if (!allTextured) continue;
            double sharpest = 0;
            for (const QImage& frame : onFirst) sharpest = std::max(sharpest, Sharpness(frame, region));
            const double share = Sharpness(result, region) / sharpest;
            if (share < weakest) weakest = share, weakestRegion = region;
        }
    std::printf("weakest textured region: %.1f %% of its sharpest picture (at %d, %d)\n", 100 * weakest,
                weakestRegion.x(), weakestRegion.y());
    EXPECT_GE(weakest, 0.9);

    // Halos: beside a component, more than 3 pixels out, the board comes from the pictures
    // focused on the board, not from the component's (whose blurred edge would spread there).
    // The specimen now spreads a blurred component over the board around it, as a lens does,
    // and one board pixel in twelve there still comes from a component's picture (8.2 %; the
    // specimen without that spread gave under 5 %): a guard against it growing, not yet the
    // aim.
    int beside = 0, haloed = 0;
    for (int y = 8; y < 512 - 8; ++y)
        for (int x = 8; x < 640 - 8; ++x) {
            auto heightAt = [&](int px, int py) {
                return specimen.HeightAt(static_cast<int>(std::lround(cx + (px - cx) / firstScale)),
                                         static_cast<int>(std::lround(cy + (py - cy) / firstScale)));
            };
            if (heightAt(x, y) > 60) continue; // on a component
            bool near = false, tooNear = false;
            for (int d = -8; d <= 8 && !tooNear; ++d)
                for (const auto& [px, py] : {std::pair{x + d, y}, std::pair{x, y + d}})
                    if (heightAt(px, py) > 60) (std::abs(d) <= 3 ? tooNear : near) = true;
            if (!near || tooNear) continue;
            ++beside;
            if (stack.SourceAt(x, y) >= 7) ++haloed;
        }
    std::printf("board pixels 4-8 px beside components taken from a component's picture: %.2f %% of %d\n",
                100.0 * haloed / std::max(1, beside), beside);
    EXPECT_LE(haloed, beside / 11);
}

TEST(FocusStack, TheLiveStackAlignsAsWellWithItsQuickerSettings)
{
    ReliefSlide specimen;
    specimen.Prepare(640, 512);
    std::vector<int> focuses;
    for (int f = 0; f <= 100; f += 10) focuses.push_back(f);
    FocusStack stack({true, false, true});
    for (const int f : focuses) stack.Add(RenderRelief(specimen, f));
    const double worst = AlignmentError(stack, focuses), depthRight = DepthRight(stack, specimen, focuses);
    std::printf("live: alignment error %.3f px, depth right for %.1f %%\n", worst, 100 * depthRight);
    EXPECT_LE(worst, 0.5);
    EXPECT_GE(depthRight, 0.95);
}

// Where no picture of the stack is sharp (the low left of the board, with the focus turned
// only over the components), the result stays as smooth as the pictures are: no patchwork of
// their noise, which a choice pixel by pixel would make.
TEST(FocusStack, WhereNothingIsSharpTheResultIsNoSharperThanThePictures)
{
    ReliefSlide specimen;
    specimen.Prepare(640, 512);
    FocusStack stack({true, true, false, true});
    std::vector<QImage> frames;
    for (int focus = 60; focus <= 100; focus += 10) {
        frames.push_back(AsACameraSeesIt(RenderRelief(specimen, focus), static_cast<unsigned>(focus)));
        stack.Add(frames.back());
    }
    const QRect blurredEverywhere(30, 40, 50, 430); // board of height 10 to 15: 8 px of blur or more
    double sharpest = 0;
    for (const QImage& frame : frames) sharpest = std::max(sharpest, Sharpness(frame, blurredEverywhere));
    const QImage result = stack.Result();
    const double ratio = Sharpness(result, blurredEverywhere) / sharpest;
    std::printf("where nothing is sharp: the result's Laplacian energy is %.2f x the sharpest picture's\n", ratio);
    EXPECT_LE(ratio, 1.2);
    // Where a component is in focus the result keeps its detail.
    const QRect component(620 * 640 / 1280, 300 * 512 / 1024, 40, 60); // the tall one, printed texture
    double sharpestThere = 0;
    for (const QImage& frame : frames) sharpestThere = std::max(sharpestThere, Sharpness(frame, component));
    EXPECT_GE(Sharpness(result, component) / sharpestThere, 0.85);
}

// A stack made from a real photograph (a circuit board, tests/data/photos): sharp where its
// pictures are, and where all of them are blurred (the far strip, where the pictures differ
// mostly by their noise) hardly busier than its sharpest picture there (at most 1.12 x the
// Laplacian's deviation: a choice that followed the noise came out at 2.0 x, one that let the
// finest detail overrule the wider choice wherever its peak was clear at 1.22 x).
TEST(FocusStack, AStackOfARealPhotographIsSharpWhereItsPicturesAre)
{
    const RealStack real = MakeRealStack(QStringLiteral("board.jpg"));
    FocusStack stack({true, true, false, true});
    for (const QImage& picture : real.pictures) ASSERT_NE(stack.Add(picture), FocusStack::Added::Unrelated);
    const QImage result = stack.Result();
    auto sharpestPicture = [&](const QRect& region) {
        double sharpest = 0;
        for (const QImage& picture : real.pictures) sharpest = std::max(sharpest, Sharpness(picture, region));
        return sharpest;
    };
    const QRect far = real.farBelow.adjusted(12, 12, -12, -12);
    const QRect raised = real.raised.adjusted(10, 10, -10, -10);
    const QRect board(real.farBelow.right() + 30, real.raised.bottom() + 30, 120, 80);
    const double calm = std::sqrt(Sharpness(result, far) / sharpestPicture(far));
    const double raisedShare = std::sqrt(Sharpness(result, raised) / sharpestPicture(raised));
    const double boardShare = std::sqrt(Sharpness(result, board) / sharpestPicture(board));
    std::printf(
        "real photograph: the Laplacian's deviation against the sharpest picture's: raised part %.2f, board %.2f, "
        "where nothing is sharp %.2f\n",
        raisedShare, boardShare, calm);
    EXPECT_GE(raisedShare, 0.9);
    EXPECT_GE(boardShare, 0.9);
    EXPECT_LE(calm, 1.12);
}

// A slide that drifts while the knob sweeps through focus and back: the stack loses a
// little of the drift on every very blurred step, and the second pass through focus must
// still land where the first was sharp (else every outline comes out twice).
TEST(FocusStack, ASweepOverADriftingSlideComesOutAsOneSharpPicture)
{
    const int width = 640, height = 512;
    SlideRenderer renderer;
    renderer.Prepare(width, height, Slide::Tissue);
    auto render = [&](double seconds, int focus) {
        SimulatedOptics optics;
        optics.focus = focus;
        QImage frame(width, height, QImage::Format_BGR888);
        renderer.RenderFrame(seconds, frame.bits(), nullptr, optics);
        return frame;
    };
    FocusStack stack({.align = true, .keepFrames = false, .quick = true, .keepReducedBy = 2});
    for (double t = 0; t <= 40; t += 0.25) {
        const double along = t / 20;
        stack.Add(render(t, static_cast<int>(std::lround(100 * (along <= 1 ? along : 2 - along)))));
    }
    // The truth: the slide in focus where the first picture saw it. Both passes saw the middle.
    const QImage truth = render(0, SimulatedOptics::kSimulatedBestFocus).convertToFormat(QImage::Format_RGB32);
    const QImage result = stack.Result().convertToFormat(QImage::Format_RGB32);
    double difference = 0;
    int count = 0;
    for (int y = 60; y < 400; ++y)
        for (int x = 80; x < 600; ++x, ++count)
            difference += std::abs(qGray(result.pixel(x, y)) - qGray(truth.pixel(x, y)));
    // Outlines twice, 2-3 px apart, were 7 levels from it; a sharp picture placed right is 1-2.
    std::printf("sweep over a drifting slide: %.2f levels from the truth\n", difference / count);
    EXPECT_LT(difference / count, 4.0);
}
// The knob swept through the relief and back in small steps, as a hand does live, the camera's
// noise and JPEG on every frame: over the many steps the alignment must not drift in scale
// (the far end came out 1 % large, its outlines 4-6 px from the near end's; aligned picture to
// picture, still 1 px at 640 and 2 px at 1280 wide), and the plain dark rims of the components
// stay plain (taken pixel by pixel, out-of-focus pictures' fringes drew thin lines along them:
// 14.8 levels from the truth beside the edges).
TEST(FocusStack, ALiveSweepThroughTheReliefAndBackStaysAlignedAndKeepsTheEdgesClean)
{
    ReliefSlide specimen;
    specimen.Prepare(640, 512);
    FocusStack stack({.align = true, .keepFrames = false, .quick = true, .keepReducedBy = 2});
    double worst = 0;
    for (int step = 0; step <= 80; ++step) {
        const int focus = 5 * (step <= 40 ? step : 80 - step) / 2;
        stack.Add(AsACameraSeesIt(RenderRelief(specimen, focus), static_cast<unsigned>(step + 1)));
        worst = std::max(worst, AlignmentError(stack, {0, focus}));
    }
    double besideEdges = 0;
    const double away = FromTheSharpBoard(stack.Result(), specimen, &besideEdges);
    std::printf("live sweep through the relief and back: worst alignment %.2f px; from the sharp board %.2f levels, "
                "beside the edges %.2f\n",
                worst, away, besideEdges);
    EXPECT_LE(worst, 0.6);
    EXPECT_LE(away, 4.5);
    EXPECT_LE(besideEdges, 13.5);
}


// A stack taken by hand from files in small steps (41 pictures through the relief, two or three
// steps apart, as a camera gives them): aligned picture to picture, the small error of each fit
// added up to 3.6 px at 640 wide (10 at 1280), and the board came out 9.6 levels from the truth.
TEST(FocusStack, AStackOfFilesInSmallStepsStaysAlignedAndComesOutAsTheSharpBoard)
{
    ReliefSlide specimen;
    specimen.Prepare(640, 512);
    FocusStack stack({.align = true, .keepFrames = true});
    double worst = 0;
    for (int focus = 0, step = 0; focus <= 100; focus += step++ % 2 ? 3 : 2) {
        stack.Add(AsACameraSeesIt(RenderRelief(specimen, focus), static_cast<unsigned>(focus + 1)));
        worst = std::max(worst, AlignmentError(stack, {0, focus}));
    }
    const double difference = FromTheSharpBoard(stack.Result(), specimen);
    std::printf("files in small steps: worst alignment %.2f px, %.2f levels from the sharp board\n", worst,
                difference);
    EXPECT_LE(worst, 0.5);
    EXPECT_LE(difference, 4.5);
}
