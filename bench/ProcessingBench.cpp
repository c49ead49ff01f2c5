// The processing steps on a 1280 x 1024 frame of the simulated microscope, on one core:
// even light (the correction alone, a reference in force) and the focus measure.
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/SlideRenderer.h"
#include "processing/FlatField.h"
#include "processing/FocusMeter.h"
#include "processing/FocusStack.h"
#include "processing/Mosaic.h"
#include "processing/PictureCombining.h"

#include <QImage>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <benchmark/benchmark.h>

namespace {

Frame SpecimenFrame(int width, int height, SimulatedOptics optics)
{
    SlideRenderer renderer;
    renderer.Prepare(width, height);
    Frame frame;
    frame.width = width;
    frame.height = height;
    frame.stride = Frame::StrideOf(width);
    frame.pixels.resize(frame.Bytes());
    renderer.RenderFrame(1.0, frame.pixels.data(), nullptr, optics);
    return frame;
}

void FlatFieldCorrect1280x1024(benchmark::State& state)
{
    SimulatedOptics blank;
    blank.unevenLamp = blank.blankField = true;
    const Frame field = SpecimenFrame(1280, 1024, blank);
    FlatFieldCorrection step;
    step.StartCapture(FlatFieldCorrection::Capture::White, 1,
                      [&step](const FlatFieldReference& r) { step.SetReference(r); });
    Frame first = field;
    step.Process(first);
    SimulatedOptics lamp;
    lamp.unevenLamp = true;
    const Frame specimen = SpecimenFrame(1280, 1024, lamp);
    Frame frame = specimen;
    for (auto _ : state) {
        state.PauseTiming();
        frame.pixels = specimen.pixels;
        state.ResumeTiming();
        step.Process(frame);
        benchmark::DoNotOptimize(frame.pixels.data());
    }
}
BENCHMARK(FlatFieldCorrect1280x1024)->Unit(benchmark::kMillisecond);

void FocusMeter1280x1024(benchmark::State& state)
{
    Frame frame = SpecimenFrame(1280, 1024, {});
    FocusMeter meter;
    meter.SetPeaking(state.range(0) != 0);
    for (auto _ : state) {
        frame.time += 0.1; // frames a tenth of a second apart: each is measured
        meter.Process(frame);
    }
    state.counters["peaking"] = static_cast<double>(state.range(0));
}
BENCHMARK(FocusMeter1280x1024)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// Focus stacking at 1280 x 1024 on the simulated relief specimen. Live: one picture added
// (aligned, matched, merged), target under 50 ms on one core. From files: ten pictures
// stacked into the result with its consistency filter, target under 2 s.
std::vector<QImage> ReliefFrames(int count)
{
    ReliefSlide specimen;
    specimen.Prepare(1280, 1024);
    std::vector<QImage> frames;
    for (int i = 0; i < count; ++i) {
        QImage frame(1280, 1024, QImage::Format_BGR888);
        specimen.Render(i * 100 / std::max(1, count - 1), frame.bits(), static_cast<std::size_t>(frame.bytesPerLine()));
        frames.push_back(frame);
    }
    return frames;
}

// A live sweep: the knob turned through the relief and back, a frame every 5 steps of focus.
void FocusStackLiveFrame1280x1024(benchmark::State& state)
{
    ReliefSlide specimen;
    specimen.Prepare(1280, 1024);
    std::vector<QImage> frames;
    for (int i = 0; i < 40; ++i) {
        QImage frame(1280, 1024, QImage::Format_BGR888);
        specimen.Render(i <= 20 ? 5 * i : 5 * (40 - i), frame.bits(), static_cast<std::size_t>(frame.bytesPerLine()));
        frames.push_back(frame);
    }
    // As the live stack runs: quick, keeping half-size pictures for heights.
    FocusStack stack({.align = true, .keepFrames = false, .quick = true, .keepReducedBy = 2});
    stack.Add(frames[0]);
    std::size_t next = 1;
    for (auto _ : state) {
        stack.Add(frames[next]);
        benchmark::DoNotOptimize(stack.RunningResult().constBits()); // what the preview shows
        next = (next + 1) % frames.size();
    }
}
BENCHMARK(FocusStackLiveFrame1280x1024)->Unit(benchmark::kMillisecond)->Iterations(79);

void FocusStackTenFiles1280x1024(benchmark::State& state)
{
    const std::vector<QImage> frames = ReliefFrames(10);
    for (auto _ : state) {
        FocusStack stack({true, true});
        for (const QImage& frame : frames) stack.Add(frame);
        benchmark::DoNotOptimize(stack.Result());
    }
}
BENCHMARK(FocusStackTenFiles1280x1024)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

namespace {

// Frames of the simulated stage along its scanning path, at 1280 x 1024.
std::vector<QImage> StageFrames(int count, double secondsApart)
{
    SlideRenderer renderer;
    renderer.Prepare(1280, 1024, Slide::Stage);
    std::vector<QImage> frames;
    std::vector<std::uint8_t> pixels(renderer.FrameBytes());
    for (int i = 0; i < count; ++i) {
        SimulatedOptics optics;
        optics.stage = backend::SimulatedDevice::StagePathAt(i * secondsApart, 1280, 1024);
        renderer.RenderFrame(0, pixels.data(), nullptr, optics);
        frames.push_back(QImage(pixels.data(), 1280, 1024, static_cast<qsizetype>(SlideRenderer::StrideOf(1280)),
                                QImage::Format_BGR888)
                             .copy());
    }
    return frames;
}

// Tracking a live 1280 x 1024 frame (15 a second along the path): the target is at least
// 15 frames a second on one core, 66 ms a frame.
void MosaicTrackFrame1280x1024(benchmark::State& state)
{
    const std::vector<QImage> frames = StageFrames(60, 1.0 / 15);
    Mosaic mosaic({});
    std::size_t next = 0;
    for (auto _ : state) {
        mosaic.Add(frames[next]);
        next = (next + 1) % frames.size();
    }
    state.counters["keys"] = mosaic.KeyCount();
}
BENCHMARK(MosaicTrackFrame1280x1024)->Unit(benchmark::kMillisecond)->Iterations(60);

// Assembling 20 key pictures of 1280 x 1024 (target: 3 s on this 2-core machine).
void MosaicAssembleTwenty1280x1024(benchmark::State& state)
{
    const std::vector<QImage> frames = StageFrames(20, 1.0 / 0.35 / 3); // a third of a field apart
    Mosaic mosaic({true});
    for (const QImage& frame : frames) mosaic.Add(frame);
    for (auto _ : state) {
        const Mosaic::Assembled assembled = mosaic.Assemble();
        benchmark::DoNotOptimize(assembled.picture.constBits());
        state.counters["placed"] = static_cast<double>(assembled.positions.size());
        state.counters["overlap_rms"] = assembled.overlapRms;
    }
}
BENCHMARK(MosaicAssembleTwenty1280x1024)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// --mosaic of 200 pictures of 1280 x 1024 from files (a grid of the stage, a quarter of a field
// apart; JPEG files in a temporary folder): target 60 s and 800 MB at the peak.
void MosaicOfTwoHundredFiles1280x1024(benchmark::State& state)
{
    QTemporaryDir folder;
    QStringList paths;
    {
        SlideRenderer renderer;
        renderer.Prepare(1280, 1024, Slide::Stage);
        std::vector<std::uint8_t> pixels(renderer.FrameBytes());
        for (int k = 0; k < 200; ++k) {
            const int row = k / 16, column = row % 2 == 0 ? k % 16 : 15 - k % 16; // serpentine
            SimulatedOptics optics;
            optics.stage = {600 + column * 412, 600 + row * 412}; // about a quarter of a field a step
            renderer.RenderFrame(0, pixels.data(), nullptr, optics);
            paths << folder.path() + QStringLiteral("/tile_%1.jpg").arg(k, 3, 10, QLatin1Char('0'));
            QImage(pixels.data(), 1280, 1024, static_cast<qsizetype>(SlideRenderer::StrideOf(1280)),
                   QImage::Format_BGR888)
                .save(paths.back(), "JPEG", 90);
        }
    }
    for (auto _ : state) {
        const CombinedPictures mosaic = MosaicOfPictureFiles(paths);
        benchmark::DoNotOptimize(mosaic.picture.constBits());
        state.counters["placed"] = mosaic.used;
        state.counters["width"] = mosaic.picture.width();
        state.counters["height"] = mosaic.picture.height();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(MosaicOfTwoHundredFiles1280x1024)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace
