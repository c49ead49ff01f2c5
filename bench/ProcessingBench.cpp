// The processing steps on a 1280 x 1024 frame of the simulated microscope, on one core:
// even light (the correction alone, a reference in force) and the focus measure.
#include "capture/backend/SlideRenderer.h"
#include "processing/FlatField.h"
#include "processing/FocusMeter.h"
#include "processing/FocusStack.h"

#include <QImage>

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
    step.StartCapture(FlatFieldCorrection::Capture::White, 1, [&step](const FlatFieldReference& r) { step.SetReference(r); });
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

void FocusStackLiveFrame1280x1024(benchmark::State& state)
{
    const std::vector<QImage> frames = ReliefFrames(10);
    FocusStack stack({true, false});
    stack.Add(frames[0]);
    std::size_t next = 1;
    for (auto _ : state) {
        stack.Add(frames[next]);
        next = next % (frames.size() - 1) + 1;
    }
}
BENCHMARK(FocusStackLiveFrame1280x1024)->Unit(benchmark::kMillisecond)->Iterations(18);

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
