#include "media/ScaledPicture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

ScaledPicture::~ScaledPicture()
{
    av_freep(&data_[0]);
}

bool ScaledPicture::Scale(SwsContext* scaler, const AVFrame* frame, int width, int height, AVPixelFormat format)
{
    if (!scaler || !frame || width <= 0 || height <= 0) return false;
    if (width != width_ || height != height_ || format != format_) {
        av_freep(&data_[0]);
        width_ = height_ = 0;
        if (av_image_alloc(data_, stride_, width, height, format, 64) < 0) return false;
        width_ = width;
        height_ = height;
        format_ = format;
    }
    return sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, data_, stride_) == height;
}
