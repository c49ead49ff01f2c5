#include "processing/Mosaic.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/SlideRenderer.h"
#include "processing/PhaseCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The simulated stage microscope, frames rendered where the test puts the stage.
class Stage {
public:
    Stage() { renderer_.Prepare(kWidth, kHeight, Slide::Stage); }

    QImage FrameAt(StagePosition stage, bool blank = false) const
    {
        QImage frame(kWidth, kHeight, QImage::Format_BGR888);
        std::vector<std::uint8_t> pixels(renderer_.FrameBytes());
        SimulatedOptics optics;
        optics.stage = stage;
        optics.blankField = blank;
        renderer_.RenderFrame(0, pixels.data(), nullptr, optics);
        for (int y = 0; y < kHeight; ++y)
            std::copy_n(&pixels[SlideRenderer::StrideOf(kWidth) * static_cast<std::size_t>(y)], kWidth * 3,
                        frame.scanLine(y));
        return frame;
    }
    // The truth: where the field's top-left lies on the slide, in frame pixels.
    QPointF Truth(StagePosition stage) const
    {
        const SlideRenderer::Offset offset = renderer_.StageOffset(stage);
        return QPointF(offset.x, offset.y);
    }

private:
    SlideRenderer renderer_;
};

const Stage& TheStage()
{
    static const Stage stage;
    return stage;
}

double Distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

cv::Mat GreyOf(const QImage& picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    return cv::Mat(grey.height(), grey.width(), CV_8U, const_cast<uchar*>(grey.constBits()),
                   static_cast<std::size_t>(grey.bytesPerLine()))
        .clone();
}

} // namespace

TEST(PhaseCorrelationTest, FindsTheShiftBetweenTwoViewsAndRefusesUnrelatedOnes)
{
    const Stage& stage = TheStage();
    const StagePosition from{2000, 1500};
    // The stage moved right and down: the same content lies further up-left in the second view.
    const StagePosition to{2000 + 150, 1500 + 60};
    const QPointF moved = stage.Truth(to) - stage.Truth(from);
    const PhaseMatch match =
        Correlate(CorrelationSpectrum(GreyOf(stage.FrameAt(from))), CorrelationSpectrum(GreyOf(stage.FrameAt(to))));
    EXPECT_TRUE(match.Strong()) << match.peak << " " << match.runnerUp;
    EXPECT_NEAR(match.shift.x, moved.x(), 0.3);
    EXPECT_NEAR(match.shift.y, moved.y(), 0.3);

    const PhaseMatch unrelated = Correlate(CorrelationSpectrum(GreyOf(stage.FrameAt({0, 0}))),
                                           CorrelationSpectrum(GreyOf(stage.FrameAt({6000, 3000}))));
    EXPECT_FALSE(unrelated.Strong()) << unrelated.peak << " " << unrelated.runnerUp;
}

TEST(MosaicTest, ASerpentineOverTheSlideIsPlacedWithinAPixelOfTheTruth)
{
    const Stage& stage = TheStage();
    Mosaic mosaic({});
    std::vector<QPointF> truths; // of each key picture
    std::vector<StagePosition> stages;
    int lost = 0;
    // The stage's scanning path, seen by a camera at 15 frames a second.
    for (double seconds = 0; seconds < 42; seconds += 1.0 / 15) {
        const StagePosition where = backend::SimulatedDevice::StagePathAt(seconds, kWidth, kHeight);
        const Mosaic::Step step = mosaic.Add(stage.FrameAt(where));
        if (step == Mosaic::Step::First || step == Mosaic::Step::KeyAdded || step == Mosaic::Step::Resumed)
            if (static_cast<std::size_t>(mosaic.KeyCount()) > truths.size()) {
                truths.push_back(stage.Truth(where));
                stages.push_back(where);
            }
        if (step == Mosaic::Step::Lost) ++lost;
    }
    EXPECT_EQ(lost, 0);
    ASSERT_EQ(static_cast<std::size_t>(mosaic.KeyCount()), truths.size());
    EXPECT_GE(mosaic.KeyCount(), 30); // 4 x 3 fields, a key picture every third of a field

    const Mosaic::Assembled assembled = mosaic.Assemble();
    ASSERT_FALSE(assembled.picture.isNull());
    ASSERT_EQ(assembled.positions.size(), truths.size());
    // Positions against the truth, both taken from their top-left corner.
    QPointF truthLow = truths.front(), placedLow = assembled.positions.front();
    for (std::size_t i = 0; i < truths.size(); ++i) {
        truthLow = QPointF(std::min(truthLow.x(), truths[i].x()), std::min(truthLow.y(), truths[i].y()));
        placedLow = QPointF(std::min(placedLow.x(), assembled.positions[i].x()),
                            std::min(placedLow.y(), assembled.positions[i].y()));
    }
    std::vector<double> errors;
    for (std::size_t i = 0; i < truths.size(); ++i)
        errors.push_back(Distance(assembled.positions[i] - placedLow, truths[i] - truthLow));
    std::sort(errors.begin(), errors.end());
    const double median = errors[errors.size() / 2], largest = errors.back();
    std::printf("mosaic of %zu: median error %.2f px, largest %.2f px, %d pairs, overlap RMS %.2f, %d x %d\n",
                errors.size(), median, largest, assembled.pairs, assembled.overlapRms, assembled.picture.width(),
                assembled.picture.height());
    EXPECT_LE(median, 1.0);
    EXPECT_LE(largest, 2.0);
    // The scan covers four fields across and three down.
    EXPECT_NEAR(assembled.picture.width(), 4 * kWidth, 8);
    EXPECT_NEAR(assembled.picture.height(), 3 * kHeight, 8);
    // The pictures agree where they overlap (the lamp's slight vignette is most of what
    // differs, and the smoothing of views between pixels).
    EXPECT_LT(assembled.overlapRms, 7.0);

    // The mosaic shows the slide: where a key picture lies, the mosaic matches a picture
    // taken there (the middle of it, away from the blended edges' vignette).
    const std::size_t middle = truths.size() / 2;
    const QPoint at = assembled.positions[middle].toPoint();
    const cv::Mat placed = GreyOf(assembled.picture.copy(QRect(at, QSize(kWidth, kHeight))));
    const cv::Mat seen = GreyOf(stage.FrameAt(stages[middle]));
    const cv::Rect centre(kWidth / 4, kHeight / 4, kWidth / 2, kHeight / 2);
    cv::Mat difference;
    cv::absdiff(placed(centre), seen(centre), difference);
    EXPECT_LT(cv::mean(difference)[0], 4.0);
}

TEST(MosaicTest, ABlankAreaOrAJumpLosesTrackingAndComingBackOverTheMosaicResumesIt)
{
    const Stage& stage = TheStage();
    Mosaic mosaic({});
    // Across a field and a half in small steps: key pictures every third of a field.
    for (int x = 1000; x <= 3400; x += 80) mosaic.Add(stage.FrameAt({x, 1200}));
    const int keys = mosaic.KeyCount();
    EXPECT_GE(keys, 4);

    // Clear glass: nothing to follow.
    EXPECT_EQ(mosaic.Add(stage.FrameAt({3400, 1200}, true)), Mosaic::Step::Lost);
    EXPECT_EQ(mosaic.Lost(), Mosaic::LostReason::Blank);
    // A jump of more than half a field: no sure match.
    EXPECT_EQ(mosaic.Add(stage.FrameAt({5800, 3000})), Mosaic::Step::Lost);
    EXPECT_EQ(mosaic.Lost(), Mosaic::LostReason::NoMatch);
    // Nothing is kept while lost, however long.
    for (int i = 0; i < 5; ++i) mosaic.Add(stage.FrameAt({5800, 3000}));
    EXPECT_EQ(mosaic.KeyCount(), keys);

    // Back over the start of the mosaic (far from where it was lost): found within a few
    // frames, at the right place.
    const StagePosition back{1100, 1250};
    Mosaic::Step step = Mosaic::Step::Lost;
    for (int i = 0; i < 4 && step == Mosaic::Step::Lost; ++i) step = mosaic.Add(stage.FrameAt(back));
    EXPECT_EQ(step, Mosaic::Step::Resumed);
    EXPECT_EQ(mosaic.Lost(), Mosaic::LostReason::None);
    const QPointF expected = stage.Truth(back) - stage.Truth({1000, 1200});
    EXPECT_LT(Distance(mosaic.ViewPosition(), expected), 1.0);
}

TEST(MosaicTest, PicturesOfAnotherSizeAreRefusedAndTheSizeLimitStopsGrowth)
{
    const Stage& stage = TheStage();
    Mosaic mosaic({false, 2 * kWidth, qint64(1) << 40});
    EXPECT_EQ(mosaic.Add(stage.FrameAt({1000, 1000})), Mosaic::Step::First);
    EXPECT_EQ(mosaic.Add(stage.FrameAt({1100, 1000}).scaled(320, 240)), Mosaic::Step::WrongSize);
    EXPECT_EQ(mosaic.FrameSize(), QSize(kWidth, kHeight));
    Mosaic::Step last = Mosaic::Step::First;
    for (int x = 1000; x <= 4800 && last != Mosaic::Step::TooLarge; x += 160)
        last = mosaic.Add(stage.FrameAt({x, 1000}));
    EXPECT_EQ(last, Mosaic::Step::TooLarge);
    EXPECT_LE(mosaic.Bounds().width(), 2 * kWidth);
    // Still followed past the limit, so the map shows where the view is.
    EXPECT_GT(mosaic.ViewPosition().x(), mosaic.Bounds().right() - kWidth);
    EXPECT_FALSE(mosaic.Map(200).isNull());
}

TEST(MosaicTest, PicturesFromFilesArePlacedEachAgainstThoseBeforeItOrNotAtAll)
{
    const Stage& stage = TheStage();
    Mosaic mosaic({true});
    EXPECT_EQ(mosaic.Add(stage.FrameAt({1000, 1000})), Mosaic::Step::First);
    EXPECT_EQ(mosaic.Add(stage.FrameAt({1500, 1000})), Mosaic::Step::KeyAdded);
    // A picture from elsewhere on the slide overlaps none of them.
    EXPECT_EQ(mosaic.Add(stage.FrameAt({5000, 3000})), Mosaic::Step::Lost);
    // The next one overlaps the first rather than the one before it.
    EXPECT_EQ(mosaic.Add(stage.FrameAt({1000, 1400})), Mosaic::Step::Resumed);
    EXPECT_EQ(mosaic.KeyCount(), 3);
    const Mosaic::Assembled assembled = mosaic.Assemble();
    ASSERT_EQ(assembled.positions.size(), 3u);
    const QPointF origin = stage.Truth({1000, 1000});
    EXPECT_LT(Distance(assembled.positions[1] - assembled.positions[0], stage.Truth({1500, 1000}) - origin), 0.5);
    EXPECT_LT(Distance(assembled.positions[2] - assembled.positions[0], stage.Truth({1000, 1400}) - origin), 0.5);

    // Cancelled on the way: nothing.
    EXPECT_TRUE(mosaic.Assemble([](int, int) { return false; }).picture.isNull());
}
