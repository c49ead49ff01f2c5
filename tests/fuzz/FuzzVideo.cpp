// A video file from the video folder: its first frame as a thumbnail, and the player's
// engine opening it, seeking in it and showing a frame.
#include "FuzzSupport.h"
#include "media/FfmpegLog.h"
#include "media/PlaybackEngine.h"
#include "media/ThumbnailDecoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureApplication();
    static DecodeBuffer buffer;
    static const bool quiet = [] {
        RouteFfmpegLogToMediaCategory();
        return true;
    }();
    (void)quiet;
    const QString path = WriteInput("input.avi", data, size);
    LoadVideoFirstFrameAsDib(path, buffer);
    PlaybackEngine engine;
    if (engine.Open(path, QSize(64, 48))) {
        engine.SetPosition(engine.Duration() / 2);
        engine.Run();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20) QCoreApplication::processEvents();
        engine.SetPosition(engine.Duration());
        engine.Close();
    }
    return 0;
}
