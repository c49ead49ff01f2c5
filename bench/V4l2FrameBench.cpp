// A 1280 x 1024 frame from the camera's node to the engine's grabber: dequeued, converted to
// 24-bit BGR by libv4lconvert (MJPEG, as a real microscope sends at that size, or YUYV) and
// flipped to bottom-up rows. Target for MJPEG: under 12 ms a frame with the frame path.
#include "../tests/capture/FakeV4l2Camera.h"
#include "capture/backend/V4l2Source.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

class Counter : public backend::SampleGrabberCallback {
public:
    void BufferCB(double, const std::uint8_t*, std::size_t) override { ++frames; }
    std::atomic<int> frames{0};
};

void CameraFrame1280x1024(benchmark::State& state, bool mjpeg)
{
    FakeV4l2Camera camera;
    camera.SetOffersMjpeg(mjpeg);
    camera.SetReuseJpeg(true);
    camera.SetOccasionalDamage(false);
    backend::V4l2Source source(camera.Calls(), camera.Node());
    VideoInfoHeader format;
    source.GetFormat(format);
    format.width = 1280;
    format.height = 1024;
    source.SetFormat(format);
    Counter counter;
    source.ConnectGrabber(0, &counter);
    source.Run();
    while (counter.frames < 2) std::this_thread::yield(); // the first frames make the JPEG
    for (auto _ : state) {
        const int target = counter.frames + 1;
        while (counter.frames < target) std::this_thread::yield();
    }
    source.Stop();
}
BENCHMARK_CAPTURE(CameraFrame1280x1024, mjpeg, true)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);
BENCHMARK_CAPTURE(CameraFrame1280x1024, yuyv, false)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);

} // namespace
