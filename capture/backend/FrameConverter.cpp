#include "capture/backend/FrameConverter.h"

#include "framework/Logging.h"
#include "media/MotionJpeg.h"

#include <libv4l-plugin.h>
#include <libv4lconvert.h>

#include <cerrno>
#include <cstring>

namespace backend {

std::unique_ptr<FrameConverter> FrameConverter::ForNode(int fd, KernelCalls* calls)
{
    static const libv4l_dev_ops kDevOps = [] {
        libv4l_dev_ops ops{};
        ops.ioctl = [](void* calls, int fd, unsigned long request, void* argument) {
            return static_cast<KernelCalls*>(calls)->videoIoctl(fd, request, argument);
        };
        return ops;
    }();
    v4lconvert_data* converter = v4lconvert_create_with_dev_ops(fd, calls, &kDevOps);
    return converter ? std::unique_ptr<FrameConverter>(new FrameConverter(converter)) : nullptr;
}

std::unique_ptr<FrameConverter> FrameConverter::WithoutNode()
{
    // The converter only needs to hear that this is a streaming camera; it asks nothing else
    // that matters for converting.
    static const libv4l_dev_ops kDevOps = [] {
        libv4l_dev_ops ops{};
        ops.ioctl = [](void*, int, unsigned long request, void* argument) {
            if (request == VIDIOC_QUERYCAP) {
                auto* capability = static_cast<v4l2_capability*>(argument);
                *capability = {};
                std::strncpy(reinterpret_cast<char*>(capability->driver), "qrv-simulated",
                             sizeof capability->driver - 1);
                capability->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
                capability->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
                return 0;
            }
            errno = EINVAL;
            return -1;
        };
        return ops;
    }();
    v4lconvert_data* converter = v4lconvert_create_with_dev_ops(-1, nullptr, &kDevOps);
    return converter ? std::unique_ptr<FrameConverter>(new FrameConverter(converter)) : nullptr;
}

FrameConverter::FrameConverter(v4lconvert_data* converter) : converter_(converter) {}

FrameConverter::~FrameConverter() = default;

void FrameConverter::Free::operator()(v4lconvert_data* converter) const
{
    v4lconvert_destroy(converter);
}

void FrameConverter::SetSourceFormat(const v4l2_format& format)
{
    source_ = format;
    width_ = static_cast<int>(format.fmt.pix.width);
    height_ = static_cast<int>(format.fmt.pix.height);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
    frame_.assign(((rowBytes + 3) & ~std::size_t{3}) * static_cast<std::size_t>(height_), 0);
    converted_.assign(rowBytes * static_cast<std::size_t>(height_), 0);
}

bool FrameConverter::SendsMotionJpeg() const
{
    return source_.fmt.pix.pixelformat == V4L2_PIX_FMT_MJPEG || source_.fmt.pix.pixelformat == V4L2_PIX_FMT_JPEG;
}

bool FrameConverter::Convert(const std::uint8_t* bytes, std::size_t used)
{
    if (height_ <= 0 || !bytes) return false;
    if (SendsMotionJpeg() && !EndsWithJpegEnd(bytes, used)) {
        ++framesNotConverted_;
        qCDebug(lcCapture) << "incomplete JPEG frame dropped (" << framesNotConverted_ << "so far)";
        return false;
    }
    v4l2_format target = source_;
    target.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    target.fmt.pix.bytesperline = static_cast<std::uint32_t>(width_) * 3;
    target.fmt.pix.sizeimage = static_cast<std::uint32_t>(converted_.size());
    // Rows padded beyond their pixels (bytesperline) and a frame cut short are the
    // converter's to handle; a frame it cannot convert is dropped.
    const int converted =
        v4lconvert_convert(converter_.get(), &source_, &target, const_cast<std::uint8_t*>(bytes),
                           static_cast<int>(used), converted_.data(), static_cast<int>(converted_.size()));
    if (converted < static_cast<int>(converted_.size())) {
        ++framesNotConverted_;
        qCDebug(lcCapture) << "frame not converted (" << framesNotConverted_
                           << "so far):" << v4lconvert_get_error_message(converter_.get());
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
    for (int y = 0; y < height_; ++y)
        std::memcpy(frame_.data() + stride * static_cast<std::size_t>(y),
                    converted_.data() + rowBytes * static_cast<std::size_t>(y), rowBytes);
    return true;
}

} // namespace backend
