#include "app/sharing/LiveJpegSource.h"

#include "media/MotionJpeg.h"

namespace {
constexpr int kJpegQuality = 80;
}

LiveJpegSource::LiveJpegSource(QObject* parent) : QObject(parent), worker_([this] { Work(); }) {}

LiveJpegSource::~LiveJpegSource()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void LiveJpegSource::Offer(SharedFrame frame, bool cameraBytesUsable)
{
    if (!frame || frame->Empty()) return;
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::move(frame);
        usable_ = cameraBytesUsable;
    }
    wake_.notify_one();
}

void LiveJpegSource::Work()
{
    std::vector<std::uint8_t> bytes;
    for (;;) {
        SharedFrame frame;
        bool usable = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || waiting_; });
            if (stopping_) return;
            frame = std::move(waiting_);
            usable = usable_;
        }
        // The camera's own frame, with the Huffman tables a browser needs put in; else one
        // encoding for everyone.
        bool passed =
            usable && !frame->jpeg.empty() && CompleteMotionJpegFrame(frame->jpeg.data(), frame->jpeg.size(), bytes);
        if (passed) ++passedThrough_;
        else if (EncodeJpeg(frame->pixels.data(), frame->width, frame->height, frame->stride, kJpegQuality, bytes))
            ++encoded_;
        else continue;
        frame.reset(); // back to the pool before the bytes travel
        done_.Post(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    }
}

bool LiveJpegSource::event(QEvent* event)
{
    if (!done_.IsFor(event)) return QObject::event(event);
    if (auto jpeg = done_.TakeNewest()) emit FrameReady(*jpeg);
    return true;
}
