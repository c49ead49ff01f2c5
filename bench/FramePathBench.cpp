// The live frame path at 1280 x 1024: the copy into FrameBuffer, the stretch to the
// 610 x 480 preview with the four overlays, and the one copy to the window surface.
#include "CaptureGraph.h"
#include "FrameDelivery.h"
#include "PreviewSurface.h"
#include "StillPicture.h"
#include "capture/backend/SlideRenderer.h"

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
