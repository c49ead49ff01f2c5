// Recording 1280 x 1024 Motion JPEG from a camera that sends 30 frames a second (the tests'
// fake V4L2 camera, paced like a sensor) through the whole engine: the camera's frames
// stored as they come, against encoding them again with Microsoft Video 1 and with Motion
// JPEG at the nominal 5 frames a second. Counters: the recorder thread's share of one core,
// the frames it lost, and how far the file's length is from the time recorded, in frames.
// Target for the camera's frames: under 5 % of a core, none lost in 60 s, within a frame.
#include "../tests/capture/FakeV4l2Camera.h"
#include "app/recording/AviRecording.h"
#include "capture/CaptureGraph.h"
#include "capture/backend/V4l2Backend.h"
#include "media/AviWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

// CPU seconds the named thread of this process has used so far; -1 when there is none.
double ThreadCpuSeconds(const QByteArray& name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + "/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name) continue;
        QFile stat(tasks.filePath(task + "/stat"));
        if (!stat.open(QIODevice::ReadOnly)) return -1;
        const QByteArray line = stat.readAll();
        // The fields after the command's closing parenthesis: utime and stime are 14 and 15.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13) return -1;
        return (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return -1;
}

// The window's thread handles events for a while and sleeps in between, as the program's does.
void RunEventsFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void RecordFromCamera(benchmark::State& state, bool passthrough, const char* encoderName)
{
    const int seconds = static_cast<int>(state.range(0));
    FakeV4l2Camera camera;
    camera.SetReuseJpeg(true);
    camera.SetOccasionalDamage(false);
    camera.SetPaced(true);
    backend::V4l2Backend backend(camera.Calls(), std::make_unique<FakeV4l2Nodes>(camera), false);
    QTemporaryDir dir;
    CCaptureGraph engine(backend, dir.path() + "/CapConfig.dat");
    engine.RefreshDeviceList();
    engine.BuildGraph();
    engine.ConnectPreview();
    engine.SetResolution(1280, 1024);
    engine.StopPreview();
    engine.SetPreviewFrameRate(30);
    engine.StartPreview();
    RunEventsFor(1000);

    VideoEncoderChoice encoder = CameraMotionJpeg();
    if (!passthrough)
        for (const auto& offered : AviVideoEncoders(1280, 1024))
            if (offered.encoder == encoderName) encoder = offered;
    const FrameRate rate = passthrough ? FrameRateOfInterval(engine.CameraFrameInterval(), 5) : FrameRate(5);
    double cpu = 0, recorded = 0, fileSeconds = 0;
    std::int64_t dropped = 0;
    for (auto _ : state) {
        CAviRecording recording(engine);
        const std::uint64_t droppedBefore = engine.FramesDroppedByProcessing();
        const QString path = dir.path() + "/bench.avi";
        QElapsedTimer clock;
        clock.start();
        if (recording.Open(path, rate, encoder).failedStep != AviWriter::OpenStep::None) {
            state.SkipWithError("the recording did not open");
            return;
        }
        const double cpuAtStart = ThreadCpuSeconds("qrv-recorder");
        RunEventsFor(seconds * 1000);
        cpu = ThreadCpuSeconds("qrv-recorder") - cpuAtStart;
        recorded = clock.elapsed() / 1000.0;
        recording.Close();
        dropped =
            recording.FramesDropped() + static_cast<std::int64_t>(engine.FramesDroppedByProcessing() - droppedBefore);
        const AviFacts facts = ReadAviFacts(path);
        fileSeconds = static_cast<double>(facts.frames) * rate.Period();
        QFile::remove(path);
    }
    engine.StopPreview();
    state.counters["recorder_cpu_percent"] = 100.0 * cpu / recorded;
    state.counters["frames_dropped"] = static_cast<double>(dropped);
    state.counters["length_off_by_frames"] = (fileSeconds - recorded) / rate.Period();
    state.counters["file_fps"] = rate.PerSecond();
}
BENCHMARK_CAPTURE(RecordFromCamera, RecordMjpegPassthrough1280x1024, true, "")
    ->Arg(60)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(RecordFromCamera, RecordMsvideo1At5fps1280x1024, false, "msvideo1")
    ->Arg(20)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(RecordFromCamera, RecordMjpegReencodedAt5fps1280x1024, false, "mjpeg")
    ->Arg(20)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
