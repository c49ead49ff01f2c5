#include "capture/FrameDelivery.h"

#include <chrono>
#include <cstring>
#include <new>

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
    : frame_(frame), stills_(stills), frameReady_(std::move(frameReady)), stillDue_(std::move(stillDue)),
      stage_([this](const SharedFrame& processed) { Deliver(processed); })
{
}

CFrameCallback::~CFrameCallback() = default;

void CFrameCallback::SetFrameSize(int width, int height)
{
    width_ = width;
    height_ = height;
}

void CFrameCallback::BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length)
{
    // The one copy on the camera's thread: into a pooled frame, for the stage.
    SharedFrame frame = pool_->Acquire(width_, height_);
    if (!frame || !buffer || length < frame->Bytes()) return; // no memory, or not a whole frame
    std::memcpy(frame->pixels.data(), buffer, frame->Bytes());
    frame->time = sampleTime;
    frame->captured = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    frame->sequence = ++sequence_;
    frame->focusPosition =
        focus_.any && focus_.time == sampleTime && frame->captured - focus_.since >= kFocusSettleSeconds
            ? focus_.position
            : std::numeric_limits<double>::quiet_NaN();
    if (compressed_.length > 0 && compressed_.time == sampleTime) {
        try {
            frame->jpeg.assign(compressed_.bytes, compressed_.bytes + compressed_.length);
        } catch (const std::bad_alloc&) {
            frame->jpeg.clear(); // the pixels still go on; a recording of the bytes counts it dropped
        }
    }
    compressed_ = {};
    stage_.Submit(std::move(frame));
}

void CFrameCallback::FocusPositionCB(double sampleTime, int position)
{
    if (!focus_.any || position != focus_.position) {
        focus_.position = position;
        focus_.since = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        focus_.any = true;
    }
    focus_.time = sampleTime;
}

void CFrameCallback::CompressedCB(double sampleTime, const std::uint8_t* bytes, std::size_t length)
{
    compressed_ = {sampleTime, bytes, bytes ? length : 0};
}

void CFrameCallback::Deliver(const SharedFrame& frame)
{
    const StillTrigger::Observation still = stills_.Observe();
    // A keyboard request keeps the frame held before it, the one the user saw; a button
    // request takes this one, and so does a request made before any frame was held.
    const bool keepHeld = still.pending == StillSource::Keyboard && frame_.Get() != nullptr;
    if (!keepHeld) frame_.Set(frame);
    if (still.announce && stillDue_) stillDue_(*still.pending);
    {
        std::lock_guard lock(tapMutex_);
        if (tap_) tap_(frame);
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
