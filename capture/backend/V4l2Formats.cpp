#include "capture/backend/V4l2Formats.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace backend {

std::vector<std::uint32_t> CameraPixelFormats(const KernelCalls& calls, int fd)
{
    std::vector<std::uint32_t> formats;
    for (std::uint32_t index = 0; index < 64; ++index) {
        v4l2_fmtdesc description{};
        description.index = index;
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (RetryIoctl(calls, fd, VIDIOC_ENUM_FMT, &description) < 0) break;
        formats.push_back(description.pixelformat);
    }
    return formats;
}

bool CameraHasSize(const KernelCalls& calls, int fd, std::uint32_t pixelFormat, std::uint32_t width,
                   std::uint32_t height)
{
    for (std::uint32_t index = 0; index < 256; ++index) {
        v4l2_frmsizeenum size{};
        size.index = index;
        size.pixel_format = pixelFormat;
        if (RetryIoctl(calls, fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0) return index == 0; // lists none: any size
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            if (size.discrete.width == width && size.discrete.height == height) return true;
            continue;
        }
        const auto& range = size.stepwise;
        return width >= range.min_width && width <= range.max_width && height >= range.min_height &&
               height <= range.max_height;
    }
    return false;
}

std::optional<CameraFormatChoice> ChooseCameraFormat(const KernelCalls& calls, int fd, std::uint32_t width,
                                                     std::uint32_t height, std::int64_t wantedInterval100ns)
{
    const std::vector<std::uint32_t> formats = CameraPixelFormats(calls, fd);
    if (formats.empty()) return std::nullopt;
    CameraFormatChoice choice;
    for (const std::uint32_t preferred : {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV}) {
        if (std::find(formats.begin(), formats.end(), preferred) != formats.end() &&
            CameraHasSize(calls, fd, preferred, width, height)) {
            choice.pixelFormat = preferred;
            break;
        }
    }
    if (!choice.pixelFormat) {
        for (const std::uint32_t format : formats)
            if (CameraHasSize(calls, fd, format, width, height)) {
                choice.pixelFormat = format;
                break;
            }
    }
    if (!choice.pixelFormat) choice.pixelFormat = formats.front();

    // The listed interval closest to the wanted one.
    double best = std::numeric_limits<double>::max();
    const double wanted = wantedInterval100ns > 0 ? wantedInterval100ns / 1e7 : 1.0 / 15;
    for (std::uint32_t index = 0; index < 64; ++index) {
        v4l2_frmivalenum interval{};
        interval.index = index;
        interval.pixel_format = choice.pixelFormat;
        interval.width = width;
        interval.height = height;
        if (RetryIoctl(calls, fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0) break;
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE || interval.discrete.denominator == 0) break;
        const double seconds = static_cast<double>(interval.discrete.numerator) / interval.discrete.denominator;
        if (std::abs(seconds - wanted) < best) {
            best = std::abs(seconds - wanted);
            choice.intervalNumerator = interval.discrete.numerator;
            choice.intervalDenominator = interval.discrete.denominator;
        }
    }
    return choice;
}

} // namespace backend
