// The live frame path at 1280 x 1024: the copy into FrameBuffer, the stretch to the
// 610 x 480 preview with the four overlays, and the one copy to the window surface.
#include "CaptureGraph.h"
#include "FrameDelivery.h"
#include "PreviewSurface.h"
#include "StillPicture.h"
#include "AppMessages.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/SlideRenderer.h"

#include <QCoreApplication>

#include <random>
#include <thread>

#include <QPainter>
#include <QTemporaryDir>

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
    PreviewSurface surface;
    surface.Create(QSize(610, 480));
    OverlaySwitches on;
    on.dateTime = on.crossLine = on.coordinates = on.circles = 1;
    const QFont font = SystemFont();
    QImage window(610, 480, QImage::Format_RGB32); // stands in for the window's surface
    FrameCallback().width = 1280;
    FrameCallback().height = 1024;
    FrameCallback().notifyWindow = nullptr;
    FrameCallback().sink = nullptr;
    for (auto _ : state) {
        FrameCallback().BufferCB(0, frame.data(), frame.size()); // copy into FrameBuffer
        surface.Compose(frame.data(), frame.size(), 1280, 1024, [&](QPainter& p, const QRect& r) {
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
    const std::vector<std::uint8_t> frame = SpecimenFrame(1280, 1024);
    PreviewSurface surface;
    surface.Create(QSize(610, 480));
    for (auto _ : state) surface.Compose(frame.data(), frame.size(), 1280, 1024, {});
}
BENCHMARK(FramePathWithoutOverlays)->Unit(benchmark::kMillisecond);

void SaveStill1280x1024(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::vector<std::uint8_t> frame = SpecimenFrame(1280, 1024);
    FrameCallback().width = 1280;
    FrameCallback().height = 1024;
    FrameCallback().BufferCB(0, frame.data(), frame.size());
    for (auto _ : state) {
        StillRequested = 1;
        benchmark::DoNotOptimize(SaveStillPicture(dir.path(), 200, QDateTime::currentDateTime(), {}));
        state.PauseTiming();
        // Keep the folder small, as a user's folder would be between two pictures.
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) QFile::remove(dir.path() + "/" + name);
        state.ResumeTiming();
    }
}
BENCHMARK(SaveStill1280x1024)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// From F2 (the request) to the saved frame's notification, with the simulated microscope
// streaming at 1280 x 1024 and 15 frames a second: at most one frame period (66.7 ms).
class StillWatcher : public QObject {
public:
    bool arrived = false;
    bool event(QEvent* event) override
    {
        if (AppMessageEvent::IsAppMessage(event)) {
            arrived = true;
            return true;
        }
        return QObject::event(event);
    }
};

void RequestToStillNotification(benchmark::State& state)
{
    backend::SimulatedBackend simulated;
    std::vector<backend::CatalogueEntry> devices;
    simulated.ListDevices(devices);
    auto source = simulated.OpenSource(*devices.front().handle);
    VideoInfoHeader format;
    source->GetFormat(format);
    format.width = 1280;
    format.height = 1024;
    format.averageTimePerFrame = 666666;
    source->SetFormat(format);
    StillWatcher watcher;
    FrameCallback().width = 1280;
    FrameCallback().height = 1024;
    FrameCallback().notifyWindow = &watcher;
    FrameCallback().sink = nullptr;
    source->ConnectGrabber(0, "StillGrabber", true, &FrameCallback());
    source->Run();
    std::mt19937 random(1);
    for (auto _ : state) {
        // A key press comes at any moment between two frames.
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 66000)(random)));
        state.ResumeTiming();
        watcher.arrived = false;
        StillFromButton = 0;
        StillRequested = 1;
        while (!watcher.arrived) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        StillRequested = 0;
        QCoreApplication::processEvents();
    }
    source->Stop();
    FrameCallback().notifyWindow = nullptr;
    state.counters["frame_period_ms"] = 66.7;
}
BENCHMARK(RequestToStillNotification)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();

} // namespace
