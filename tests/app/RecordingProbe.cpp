// Records from the simulated microscope into the file named on the command line until it is
// killed; says "recording" once the file is open. For the test of a recording cut short.
#include "app/recording/AviRecording.h"
#include "capture/CaptureGraph.h"
#include "capture/backend/SimulatedBackend.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    QTemporaryDir dir;
    backend::SimulatedBackend simulated;
    CCaptureGraph engine(simulated, dir.path() + "/CapConfig.dat");
    if (!engine.RefreshDeviceList() || !engine.BuildGraph() || !engine.ConnectPreview()) return 3;
    engine.SetResolution(320, 240);
    engine.StopPreview();
    engine.SetPreviewFrameRate(15);
    if (!engine.StartPreview()) return 4;
    CAviRecording recording(engine);
    if (recording.Open(QString::fromLocal8Bit(argv[1]), 22, DefaultVideoEncoder()).failedStep !=
        AviWriter::OpenStep::None)
        return 5;
    std::printf("recording\n");
    std::fflush(stdout);
    return app.exec();
}
