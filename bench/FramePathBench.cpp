// The live frame path at 1280 x 1024: the copy into a pooled frame on the camera's thread,
// the processing stage handing it on (no steps), then on the user-interface thread the scale
// to the 610 x 480 preview with the four overlays, and the one copy to the window surface.
#include "app/stills/StillPicture.h"
#include "capture/CaptureGraph.h"
#include "capture/FrameDelivery.h"
#include "capture/PreviewSurface.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/SlideRenderer.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <random>
#include <thread>

#include <benchmark/benchmark.h>

namespace {

std::vector<std::uint8_t> SpecimenFrame(int width, int height)
{
    SlideRenderer renderer;
    renderer.Prepare(width, height);
    std::vector<std::uint8_t> frame(renderer.FrameBytes());
    renderer.RenderFrame(1.0, frame.data(), nullptr);
    return frame;
}

void FramePath(benchmark::State& state)
{
    const std::vector<std::uint8_t> frame = SpecimenFrame(1280, 1024);
    HeldFrame held;
    StillTrigger stills;
    CFrameCallback callback(held, stills, {}, {});
    callback.SetFrameSize(1280, 1024);
    PreviewSurface surface;
    surface.Create(QSize(610, 480));
    OverlaySwitches on;
    on.dateTime = on.crossLine = on.coordinates = on.circles = true;
    const QFont font = SystemFont();
    QImage window(610, 480, QImage::Format_RGB32); // stands in for the window's surface
    for (auto _ : state) {
        callback.BufferCB(0, frame.data(), frame.size()); // copy into a pooled frame, through the stage
        callback.Flush();
        held.With([&](const Frame& f) { return surface.Compose(f); });
        surface.DrawOverlays([&](QPainter& p, const QRect& r) {
            DrawDateTime(p, r, on, QDateTime::currentDateTime(), font);
            DrawCrossLine(p, r, on);
            DrawCoordinates(p, r, on);
            DrawCircles(p, r, on);
        });
        QPainter painter(&window);
        surface.PaintTo(painter);
    }
}
BENCHMARK(FramePath)->Unit(benchmark::kMillisecond);

void FramePathWithoutOverlays(benchmark::State& state)
{
    const std::vector<std::uint8_t> pixels = SpecimenFrame(1280, 1024);
    Frame frame;
    frame.width = 1280;
    frame.height = 1024;
    frame.stride = Frame::StrideOf(1280);
    frame.pixels = pixels;
    PreviewSurface surface;
    surface.Create(QSize(610, 480));
    for (auto _ : state) surface.Compose(frame);
}
BENCHMARK(FramePathWithoutOverlays)->Unit(benchmark::kMillisecond);

void SaveStill1280x1024(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::vector<std::uint8_t> frame = SpecimenFrame(1280, 1024);
    HeldFrame held;
    StillTrigger stills;
    CFrameCallback callback(held, stills, {}, {});
    callback.SetFrameSize(1280, 1024);
    callback.BufferCB(0, frame.data(), frame.size());
    callback.Flush();
    for (auto _ : state) {
        stills.Request(StillSource::Keyboard);
        benchmark::DoNotOptimize(SaveStillPicture(held, stills, dir.path(), 200, QDateTime::currentDateTime(), {}));
        state.PauseTiming();
        // Keep the folder small, as a user's folder would be between two pictures.
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) QFile::remove(dir.path() + "/" + name);
        state.ResumeTiming();
    }
}
BENCHMARK(SaveStill1280x1024)->Unit(benchmark::kMillisecond);

// From F2 (the request) to the engine's StillDue signal, with the simulated microscope
// streaming at 1280 x 1024 and 15 frames a second: at most one frame period (66.7 ms).
void RequestToStillNotification(benchmark::State& state)
{
    QTemporaryDir dir;
    backend::SimulatedBackend simulated;
    CCaptureGraph engine(simulated, dir.path() + "/CapConfig.dat");
    engine.resize(610, 480);
    engine.RefreshDeviceList();
    engine.BuildGraph();
    engine.ConnectPreview();
    engine.SetResolution(1280, 1024);
    engine.StartPreview();
    bool arrived = false;
    QObject::connect(&engine, &CCaptureGraph::StillDue, [&](StillSource) {
        arrived = true;
        engine.Stills().Serve();
    });
    std::mt19937 random(1);
    for (auto _ : state) {
        // A key press comes at any moment between two frames.
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 66000)(random)));
        QCoreApplication::processEvents();
        state.ResumeTiming();
        arrived = false;
        engine.Stills().Request(StillSource::Keyboard);
        while (!arrived) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    engine.StopPreview();
    state.counters["frame_period_ms"] = 66.7;
}
BENCHMARK(RequestToStillNotification)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();

} // namespace
