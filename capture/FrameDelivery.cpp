#include "FrameDelivery.h"

#include "AppMessages.h"

#include <cstring>
#include <new>

std::atomic<int> StillRequested{0};
std::atomic<int> StillFromButton{0};
std::atomic<int> RecordingActive{0};
std::atomic<RecordingFrameWriter> WriteRecordingFrame{nullptr};

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

void FrameBufferData::Free()
{
    std::lock_guard lock(FrameBufferLock());
    pixels.reset();
    capacity = 0;
    length = 0;
}

std::mutex& FrameBufferLock()
{
    static std::mutex lock;
    return lock;
}

FrameBufferData& FrameBuffer()
{
    static FrameBufferData buffer;
    return buffer;
}

CFrameCallback& FrameCallback()
{
    static CFrameCallback callback;
    return callback;
}

CStillTriggerCallback& StillTriggerCallback()
{
    static CStillTriggerCallback callback;
    return callback;
}

namespace {
// Called with FrameBufferLock held.
void CopyIntoFrameBuffer(double sampleTime, const std::uint8_t* buffer, std::size_t length)
{
    FrameBufferData& frame = FrameBuffer();
    if (!frame.Reserve(length)) return; // no memory: the frame stays uncopied
    std::memcpy(frame.pixels.get(), buffer, length);
    frame.length = length;
    frame.sampleTime = sampleTime;
}
} // namespace

void CFrameCallback::BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length)
{
    FrameBufferData& frame = FrameBuffer();
    const int w = width.load();
    const int h = height.load();
    std::unique_lock lock(FrameBufferLock());
    frame.header = BitmapInfoHeader{};
    frame.header.width = w;
    frame.header.height = h;
    frame.header.sizeImage = static_cast<std::uint32_t>(w) * static_cast<std::uint32_t>(h) * 3u;
    frame.reserved[0] = frame.reserved[1] = 0;
    frame.width = w;
    frame.height = h;

    if (StillRequested.load() != 1) {
        CopyIntoFrameBuffer(sampleTime, buffer, length);
    } else {
        // A keyboard or time-lapse request keeps the frame held before it; a button
        // request takes this one.
        // With no frame held yet (a request right at the start) this one is the frame to save.
        const int fromButton = StillFromButton.load();
        if (fromButton != 0 || frame.length == 0) CopyIntoFrameBuffer(sampleTime, buffer, length);
        lock.unlock();
        PostAppMessage(notifyWindow.load(), WM_CAPTURE_STILL, static_cast<std::uintptr_t>(fromButton), 0);
    }
    if (lock.owns_lock()) lock.unlock();

    if (RecordingActive.load() == 1) {
        if (RecordingFrameWriter writer = WriteRecordingFrame.load()) writer(buffer, length);
    }
    if (FrameSink* target = sink.load()) target->DrawFrame(buffer, length, w, h);
}

void CStillTriggerCallback::BufferCB(double, const std::uint8_t*, std::size_t)
{
    // The button mark goes first, so a frame seeing the request also sees where it came from.
    StillFromButton = 1;
    StillRequested = 1;
}
