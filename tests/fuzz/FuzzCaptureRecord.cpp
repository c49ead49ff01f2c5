// CapConfig.dat as it may be found: read, judged, and written back when plausible.
#include "FuzzSupport.h"
#include "capture/CaptureConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    VideoInfoHeader format;
    const QString path = WriteInput("CapConfig.dat", data, size);
    if (ReadCaptureConfig(path, format) && IsPlausibleFormat(format)) {
        VideoInfoHeader defaults = format;
        ApplyDefaultFormat(defaults, format);
        WriteCaptureConfig(path, defaults);
    }
    return 0;
}
