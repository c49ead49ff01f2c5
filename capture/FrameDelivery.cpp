#include "FrameDelivery.h"

#include <cstring>
#include <new>

bool FrameBufferData::Reserve(std::size_t bytes)
{
    if (pixels && bytes <= capacity) return true;
    pixels.reset();
    capacity = 0;
    pixels.reset(new (std::nothrow) std::uint8_t[bytes]);
    if (!pixels) return false;
    capacity = bytes;
    return true;
}

void HeldFrame::Free()
{
    std::lock_guard lock(mutex_);
    frame_.pixels.reset();
    frame_.capacity = 0;
    frame_.length = 0;
}

void StillTrigger::Request(StillSource source)
{
    std::lock_guard lock(mutex_);
    pending_ = source;
    announced_ = false;
}

StillTrigger::Observation StillTrigger::Observe()
{
    std::lock_guard lock(mutex_);
    Observation seen{pending_, pending_.has_value() && !announced_};
    if (seen.announce) announced_ = true;
    return seen;
}

bool StillTrigger::Serve()
{
    std::lock_guard lock(mutex_);
    const bool wasPending = pending_.has_value();
    pending_.reset();
    announced_ = false;
    return wasPending;
}

void StillTrigger::Rearm()
{
    std::lock_guard lock(mutex_);
    announced_ = false;
}

std::optional<StillSource> StillTrigger::Pending() const
{
    std::lock_guard lock(mutex_);
    return pending_;
}

CFrameCallback::CFrameCallback(HeldFrame& frame, StillTrigger& stills, std::function<void()> frameReady,
                               std::function<void(StillSource)> stillDue)
    : frame_(frame), stills_(stills), frameReady_(std::move(frameReady)), stillDue_(std::move(stillDue))
{
}

void CFrameCallback::SetFrameSize(int width, int height)
{
    width_ = width;
    height_ = height;
}

void CFrameCallback::BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length)
{
    const StillTrigger::Observation still = stills_.Observe();
    frame_.WithWritable([&](FrameBufferData& frame) {
        frame.header = BitmapInfoHeader{};
        frame.header.width = width_;
        frame.header.height = height_;
        frame.header.sizeImage = static_cast<std::uint32_t>(width_) * static_cast<std::uint32_t>(height_) * 3u;
        frame.width = width_;
        frame.height = height_;
        // A keyboard request keeps the frame held before it, the one the user saw; a button
        // request takes this one, and so does a request made before a whole frame was held.
        const bool keepHeld = still.pending == StillSource::Keyboard && frame.length != 0 &&
                              frame.length >= frame.header.sizeImage;
        if (keepHeld || !frame.Reserve(length)) return; // no memory: the frame stays uncopied
        std::memcpy(frame.pixels.get(), buffer, length);
        frame.length = length;
        frame.sampleTime = sampleTime;
    });
    if (still.announce && stillDue_) stillDue_(*still.pending);
    {
        std::lock_guard lock(tapMutex_);
        if (tap_) tap_(sampleTime, buffer, length);
    }
    if (frameReady_) frameReady_();
}

void CFrameCallback::SetRecordingTap(RecordingTap tap)
{
    std::lock_guard lock(tapMutex_);
    tap_ = std::move(tap);
}

void CStillTriggerCallback::BufferCB(double, const std::uint8_t*, std::size_t)
{
    stills_.Request(StillSource::CameraButton);
}
