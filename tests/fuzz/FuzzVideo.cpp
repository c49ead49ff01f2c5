// A video file from the video folder: its first frame as a thumbnail.
#include "FuzzSupport.h"
#include "media/FfmpegLog.h"
#include "media/ThumbnailDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static DecodeBuffer buffer;
    static const bool quiet = [] {
        RouteFfmpegLogToMediaCategory();
        return true;
    }();
    (void)quiet;
    LoadVideoFirstFrameAsDib(WriteInput("input.avi", data, size), buffer);
    return 0;
}
