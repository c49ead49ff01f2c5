#pragma once
// How frames reach the program. The capture output's callback keeps the latest frame in the
// engine's HeldFrame and tells the engine (through its hand-offs) that a frame is ready and
// when a still picture is due; the still output's callback only marks that the camera's
// button asked for a picture. Both callbacks run on the streaming thread and belong to the
// engine, which owns everything they touch.

#include "backend/CaptureBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};

// The latest frame of the stream: 24-bit bottom-up rows padded to 4 bytes.
struct FrameBufferData {
    BitmapInfoHeader header;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::unique_ptr<std::uint8_t[]> pixels; // or none
    std::size_t capacity = 0;               // grow-only
    std::size_t length = 0;                 // bytes of the frame copied last
    double sampleTime = 0;

    // Makes room for `length` bytes: allocates the first time, reallocates only to grow.
    bool Reserve(std::size_t length);
};

// The held frame and its lock. The streaming thread writes it; the user-interface thread
// composes the preview from it and copies still pictures out of it, each under the lock.
class HeldFrame {
public:
    // Runs `use` with the frame locked.
    template <typename Use> auto With(Use use) const
    {
        std::lock_guard lock(mutex_);
        return use(static_cast<const FrameBufferData&>(frame_));
    }
    template <typename Use> auto WithWritable(Use use)
    {
        std::lock_guard lock(mutex_);
        return use(frame_);
    }
    void Free();

private:
    mutable std::mutex mutex_; // guards frame_
    FrameBufferData frame_;
};

// Where a still request came from. A keyboard request (F2, the window's camera button, the
// time-lapse series) saves the frame on screen when it was made; the microscope's own button
// saves the frame that comes with its press.
enum class StillSource { Keyboard, CameraButton };

// The one pending still request, shared by whoever asks (any thread) and the frame callback.
class StillTrigger {
public:
    struct Observation {
        std::optional<StillSource> pending;
        bool announce = false; // this frame is the first to see the request: tell the engine
    };

    void Request(StillSource source);
    // Streaming thread, once per frame.
    Observation Observe();
    // User-interface thread: the request is being served. False when none is pending (an
    // earlier notification served it already).
    bool Serve();
    // User-interface thread: no frame could be saved yet; the next frame announces again.
    void Rearm();
    std::optional<StillSource> Pending() const;

private:
    mutable std::mutex mutex_; // guards pending_ and announced_
    std::optional<StillSource> pending_;
    bool announced_ = false;
};

// On the capture output: every sample.
class CFrameCallback : public backend::SampleGrabberCallback {
public:
    // `frameReady` and `stillDue` run on the streaming thread and only post.
    CFrameCallback(HeldFrame& frame, StillTrigger& stills, std::function<void()> frameReady,
                   std::function<void(StillSource)> stillDue);
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length) override;

    // The frame size the stream was connected with; set while the stream is stopped.
    void SetFrameSize(int width, int height);

    // A running recording's intake: given every frame (sample time, the buffer itself) on
    // the streaming thread; it only copies. Any thread may set or clear it; once cleared,
    // no call is running and none comes.
    using RecordingTap = std::function<void(double sampleTime, const std::uint8_t* buffer, std::size_t length)>;
    void SetRecordingTap(RecordingTap tap);

private:
    std::mutex tapMutex_; // guards tap_: writing a frame and ending a recording exclude each other
    RecordingTap tap_;
    HeldFrame& frame_;
    StillTrigger& stills_;
    std::function<void()> frameReady_;
    std::function<void(StillSource)> stillDue_;
    int width_ = 0;
    int height_ = 0;
};

// On the still output: the camera's button asked for a picture.
class CStillTriggerCallback : public backend::SampleGrabberCallback {
public:
    explicit CStillTriggerCallback(StillTrigger& stills) : stills_(stills) {}
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length) override;

private:
    StillTrigger& stills_;
};
