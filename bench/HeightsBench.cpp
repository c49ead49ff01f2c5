// Heights from a focus stack: the height map of ten 1280 x 1024 pictures beyond the stack
// itself (aim: 1 s), and the exports.
#include "capture/backend/ReliefSlide.h"
#include "heights/HeightExport.h"
#include "processing/FocusStack.h"
#include "processing/HeightMap.h"

#include <QTemporaryDir>

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

const std::vector<QImage>& ReliefFrames()
{
    static const auto frames = [] {
        ReliefSlide slide;
        slide.Prepare(1280, 1024);
        std::vector<QImage> made;
        for (const int focus : {8, 18, 27, 38, 47, 58, 67, 78, 87, 96}) {
            QImage frame(1280, 1024, QImage::Format_BGR888);
            slide.Render(focus, frame.bits(), static_cast<std::size_t>(frame.bytesPerLine()));
            made.push_back(frame);
        }
        return made;
    }();
    return frames;
}

std::unique_ptr<FocusStack> StackOf(const std::vector<QImage>& frames)
{
    auto stack = std::make_unique<FocusStack>(FocusStack::Options{.align = true, .keepFrames = true});
    for (const QImage& frame : frames) stack->Add(frame);
    return stack;
}

const FocusStack& ReliefStack()
{
    static const auto stack = StackOf(ReliefFrames());
    return *stack;
}

// A fresh stack each time: its pictures' growth is measured when the heights first ask.
void HeightMapOfTenPictures1280x1024(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const auto stack = StackOf(ReliefFrames());
        state.ResumeTiming();
        benchmark::DoNotOptimize(HeightsOf(*stack, {kNominalGrowthPerMicrometre, true, 0.2}));
    }
}

void HeightTiffAndPlyOf1280x1024(benchmark::State& state)
{
    const auto map = HeightsOf(ReliefStack(), {kNominalGrowthPerMicrometre, true, 0.2});
    const QImage picture = ReliefStack().Result();
    QTemporaryDir dir;
    for (auto _ : state) {
        WriteHeightTiff(dir.path() + "/h.tif", *map, nullptr);
        WriteHeightMesh(dir.path() + "/h.ply", *map, picture, nullptr);
    }
}

} // namespace

BENCHMARK(HeightMapOfTenPictures1280x1024)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(HeightTiffAndPlyOf1280x1024)->Unit(benchmark::kMillisecond);
