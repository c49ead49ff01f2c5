// Writing a 1280 x 1024 still with its scale, by format (whole, under a temporary name,
// then renamed, as a still is written). Targets: TIFF under 15 ms, PNG under 60 ms.
#include "capture/backend/SlideRenderer.h"
#include "media/PictureWriter.h"

#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void WriteStill1280x1024(benchmark::State& state, const char* extension)
{
    SlideRenderer renderer;
    renderer.Prepare(1280, 1024);
    std::vector<std::uint8_t> frame(renderer.FrameBytes());
    renderer.RenderFrame(1.0, frame.data(), nullptr);
    const QImage picture(frame.data(), 1280, 1024, static_cast<qsizetype>(SlideRenderer::StrideOf(1280)),
                         QImage::Format_BGR888);
    PictureMetadata metadata;
    metadata.millimetresPerPixel = 0.00125;
    metadata.magnification = 200;
    QTemporaryDir dir;
    const QString path = dir.path() + "/still." + extension;
    for (auto _ : state) benchmark::DoNotOptimize(WritePictureFile(path, picture, metadata, nullptr));
    state.counters["file_kb"] = static_cast<double>(QFileInfo(path).size()) / 1024;
}
BENCHMARK_CAPTURE(WriteStill1280x1024, tiff, "tif")->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(WriteStill1280x1024, png, "png")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(WriteStill1280x1024, bmp, "bmp")->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
