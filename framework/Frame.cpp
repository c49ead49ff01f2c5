#include "framework/Frame.h"

#include <new>

std::shared_ptr<FramePool> FramePool::Create(std::size_t spares)
{
    return std::shared_ptr<FramePool>(new FramePool(spares));
}

SharedFrame FramePool::Acquire(int width, int height)
{
    if (width <= 0 || height <= 0) return nullptr;
    std::unique_ptr<Frame> frame;
    {
        std::lock_guard lock(mutex_);
        if (!spares_.empty()) {
            frame = std::move(spares_.back());
            spares_.pop_back();
        }
    }
    const std::size_t stride = Frame::StrideOf(width);
    try {
        if (!frame) {
            frame = std::make_unique<Frame>();
            std::lock_guard lock(mutex_);
            ++allocations_;
        }
        frame->pixels.resize(stride * static_cast<std::size_t>(height)); // keeps its memory once grown
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    frame->width = width;
    frame->height = height;
    frame->stride = stride;
    frame->time = 0;
    frame->captured = 0;
    frame->sequence = 0;
    frame->jpeg.clear(); // keeps its memory too
    // The frame goes back to this pool, or is freed if the pool is gone by then.
    std::weak_ptr<FramePool> owner = weak_from_this();
    return SharedFrame(frame.release(), [owner](Frame* released) {
        if (const auto pool = owner.lock()) pool->GiveBack(released);
        else delete released;
    });
}

void FramePool::GiveBack(Frame* frame)
{
    std::unique_ptr<Frame> owned(frame);
    std::lock_guard lock(mutex_);
    if (spares_.size() < maxSpares_) spares_.push_back(std::move(owned));
}

std::size_t FramePool::Allocations() const
{
    std::lock_guard lock(mutex_);
    return allocations_;
}
