#pragma once
// What a camera sends (Motion JPEG, YUYV, ...) made into the program's frame layout by
// libv4lconvert: 24-bit BGR, top-down rows padded to 4 bytes. A V4L2 camera's converter asks
// the camera's node about it through the table of kernel calls; the simulated microscope's
// has no node and answers only that it is a streaming camera.

#include "capture/backend/KernelCalls.h"

#include <linux/videodev2.h>

#include <cstdint>
#include <memory>
#include <vector>

struct v4lconvert_data;

namespace backend {

class FrameConverter {
public:
    // For a camera node, asked through `calls` (which must outlive the converter).
    static std::unique_ptr<FrameConverter> ForNode(int fd, KernelCalls* calls);
    // For a source without a node.
    static std::unique_ptr<FrameConverter> WithoutNode();
    ~FrameConverter();

    // What the buffers hold from now on (format, size, row length).
    void SetSourceFormat(const v4l2_format& format);
    const v4l2_format& SourceFormat() const { return source_; }
    bool SendsMotionJpeg() const;

    // Converts one buffer into Frame(). False when it cannot: a Motion JPEG frame cut short
    // on the wire (the decoder would fill its missing rows with grey), or anything the
    // converter refuses; such frames are counted.
    bool Convert(const std::uint8_t* bytes, std::size_t used);
    const std::vector<std::uint8_t>& Frame() const { return frame_; }
    std::int64_t FramesNotConverted() const { return framesNotConverted_; }

private:
    explicit FrameConverter(v4lconvert_data* converter);

    struct Free {
        void operator()(v4lconvert_data* converter) const;
    };
    std::unique_ptr<v4lconvert_data, Free> converter_;
    v4l2_format source_{};
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> converted_; // the converter's tightly packed rows
    std::vector<std::uint8_t> frame_;     // the same rows padded to 4 bytes
    std::int64_t framesNotConverted_ = 0;
};

} // namespace backend
