#pragma once
// A decoded frame converted by swscale into a picture of its own: aligned, with padded rows,
// so swscale's vector code has the room it writes in. Callers copy the rows where they need
// them. (Scaling straight into tightly packed rows of another owner left the last columns of
// widths that are not a multiple of eight black.)

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

class ScaledPicture {
public:
    ScaledPicture() = default;
    ~ScaledPicture();
    ScaledPicture(const ScaledPicture&) = delete;
    ScaledPicture& operator=(const ScaledPicture&) = delete;

    // Converts `frame` with `scaler`, which must produce `width` x `height` in `format`.
    bool Scale(SwsContext* scaler, const AVFrame* frame, int width, int height, AVPixelFormat format);
    const std::uint8_t* Row(int y) const { return data_[0] + static_cast<long>(stride_[0]) * y; }

private:
    std::uint8_t* data_[4] = {};
    int stride_[4] = {};
    int width_ = 0;
    int height_ = 0;
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
};
