#pragma once
// One camera frame as every part of the program passes it: 24-bit BGR pixels in top-down
// rows, each padded to 4 bytes (so a bitmap file's rows are the same bytes in the other
// order), with the time it was captured and its number in the stream, and the camera's own
// Motion JPEG bytes of it when the camera sends Motion JPEG. Frames come from a
// pool and go back to it when the last holder lets go, so a running stream allocates
// nothing per frame.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

struct Frame {
    int width = 0;
    int height = 0;
    std::size_t stride = 0; // bytes from one row to the next
    double time = 0;        // capture time in seconds, on the stream's clock
    double captured = 0;    // when the camera's thread took it, in seconds of the steady clock
                            // (one clock across stream restarts)
    std::uint64_t sequence = 0;
    // Where a motorised focus stood, in its control's units, when it had stood there a moment;
    // NaN when the focus is turned by hand, automatic or moving.
    double focusPosition = std::numeric_limits<double>::quiet_NaN();
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> jpeg; // as the camera sent it; empty for other formats

    static std::size_t StrideOf(int width) { return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3}; }
    std::size_t Bytes() const { return stride * static_cast<std::size_t>(height); }
    std::uint8_t* Row(int y) { return pixels.data() + stride * static_cast<std::size_t>(y); }
    const std::uint8_t* Row(int y) const { return pixels.data() + stride * static_cast<std::size_t>(y); }
    bool Empty() const { return width <= 0 || height <= 0 || pixels.size() < Bytes(); }
};

using SharedFrame = std::shared_ptr<Frame>;

// Hands out frames of a given size; a frame returns here when its last holder drops it. The
// pool keeps a few spare buffers and makes new ones only when all are in use. Any thread.
class FramePool : public std::enable_shared_from_this<FramePool> {
public:
    static std::shared_ptr<FramePool> Create(std::size_t spares = 8);

    // A frame of width x height (its pixels unset), or null when there is no memory for it.
    SharedFrame Acquire(int width, int height);
    std::size_t Allocations() const;

private:
    explicit FramePool(std::size_t spares) : maxSpares_(spares) {}
    void GiveBack(Frame* frame);

    mutable std::mutex mutex_; // guards spares_ and allocations_
    std::vector<std::unique_ptr<Frame>> spares_;
    std::size_t maxSpares_;
    std::size_t allocations_ = 0;
};
