#pragma once
// Choosing what the camera sends: at the requested size MJPEG where the camera offers it
// (the rate USB 2 carries at 1280 x 1024), else YUYV, else the first format libv4lconvert
// converts; and of the frame intervals the camera lists for it, the one closest to the
// requested one.

#include "capture/backend/KernelCalls.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace backend {

struct CameraFormatChoice {
    std::uint32_t pixelFormat = 0;
    std::uint32_t intervalNumerator = 0; // 0 when the camera lists no interval
    std::uint32_t intervalDenominator = 0;
};

// The camera's pixel formats (VIDIOC_ENUM_FMT), in its order.
std::vector<std::uint32_t> CameraPixelFormats(const KernelCalls& calls, int fd);
// Whether the camera lists `width` x `height` for `pixelFormat` (any size when it lists
// none, or a stepwise range that holds it).
bool CameraHasSize(const KernelCalls& calls, int fd, std::uint32_t pixelFormat, std::uint32_t width,
                   std::uint32_t height);
// The format and interval to ask for; none when the camera offers nothing at all.
std::optional<CameraFormatChoice> ChooseCameraFormat(const KernelCalls& calls, int fd, std::uint32_t width,
                                                     std::uint32_t height, std::int64_t wantedInterval100ns);

} // namespace backend
