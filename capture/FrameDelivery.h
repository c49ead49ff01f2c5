#pragma once
// How frames reach the program. The capture output's callback passes every frame through
// the processing stage, keeps the processed one in the engine's HeldFrame and tells the
// engine (through its hand-offs) that a frame is ready and when a still picture is due; the
// still output's callback only marks that the camera's button asked for a picture. Both
// belong to the engine, which owns everything they touch.

#include "capture/FrameStage.h"
#include "capture/backend/CaptureBackend.h"
#include "framework/Frame.h"

#include <QSize>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The frame on show: the newest the processing stage handed on. The stage's worker sets
// it; the user-interface thread composes the preview from it and saves stills from it, each
// under the lock (the frame itself is never written again once held, so holding it is
// enough to read it).
class HeldFrame {
public:
    // Runs `use` with the held frame (an empty one when none is held) under the lock.
    template <typename Use>
    auto With(Use use) const
    {
        static const Frame kNone;
        std::lock_guard lock(mutex_);
        return use(frame_ ? static_cast<const Frame&>(*frame_) : kNone);
    }
    SharedFrame Get() const
    {
        std::lock_guard lock(mutex_);
        return frame_;
    }
    void Set(SharedFrame frame)
    {
        std::lock_guard lock(mutex_);
        frame_ = std::move(frame);
    }
    void Free() { Set(nullptr); }

private:
    mutable std::mutex mutex_; // guards frame_
    SharedFrame frame_;
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

// On the capture output: every sample. The camera's thread only copies the sample into a
// pooled frame (top-down rows, as every backend delivers them) and queues it for the
// processing stage; the stage's worker then holds the processed frame for the preview and
// the stills, gives it to a running recording and tells the engine.
class CFrameCallback : public backend::SampleGrabberCallback {
public:
    // `frameReady` and `stillDue` run on the stage's worker and only post.
    CFrameCallback(HeldFrame& frame, StillTrigger& stills, std::function<void()> frameReady,
                   std::function<void(StillSource)> stillDue);
    ~CFrameCallback() override;
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length) override;
    // The camera's Motion JPEG bytes go with the frame that follows (a second copy, small
    // beside the pixels), for a recording that stores them as they are.
    void CompressedCB(double sampleTime, const std::uint8_t* bytes, std::size_t length) override;
    // A motorised focus's position goes with the frame that follows once it has stood still a
    // moment (a lens on its way, or frames still in the camera's buffers, would be misplaced).
    void FocusPositionCB(double sampleTime, int position) override;
    static constexpr double kFocusSettleSeconds = 0.15;

    // The frame size the stream was connected with; set while the stream is stopped.
    void SetFrameSize(int width, int height);
    // The processing steps every frame passes through, in order.
    void SetSteps(std::vector<std::shared_ptr<FrameStep>> steps) { stage_.SetSteps(std::move(steps)); }
    // Waits until the frames already queued have been handed on.
    void Flush() { stage_.Flush(); }
    std::uint64_t FramesDroppedByTheStage() const { return stage_.Dropped(); }

    // A running recording's intake: given every processed frame on the stage's worker; it
    // only queues it. Any thread may set or clear it; once cleared, no call is running and
    // none comes.
    using RecordingTap = std::function<void(const SharedFrame& frame)>;
    void SetRecordingTap(RecordingTap tap);

private:
    void Deliver(const SharedFrame& frame); // the stage's worker

    std::mutex tapMutex_; // guards tap_: writing a frame and ending a recording exclude each other
    RecordingTap tap_;
    HeldFrame& frame_;
    StillTrigger& stills_;
    std::function<void()> frameReady_;
    std::function<void(StillSource)> stillDue_;
    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    std::uint64_t sequence_ = 0; // camera thread only
    struct Compressed {
        double time = 0;
        const std::uint8_t* bytes = nullptr;
        std::size_t length = 0;
    } compressed_; // camera thread only: the bytes of the sample BufferCB gets next
    struct FocusReport {
        double time = -1; // the sample it goes with
        int position = 0;
        double since = 0; // when it first stood there (the steady clock's seconds)
        bool any = false;
    } focus_; // camera thread only
    std::shared_ptr<FramePool> pool_ = FramePool::Create();
    FrameStage stage_; // last: its worker stops first
};

// On the still output: the camera's button asked for a picture.
class CStillTriggerCallback : public backend::SampleGrabberCallback {
public:
    explicit CStillTriggerCallback(StillTrigger& stills) : stills_(stills) {}
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length) override;

private:
    StillTrigger& stills_;
};

// What a recording takes from the capture engine: the size its frames come at, what the
// camera sends at which rate, and the tap that gives it every processed frame.
class RecordingSource {
public:
    virtual ~RecordingSource() = default;
    virtual QSize CaptureSize() const = 0;
    // The camera sends Motion JPEG (each frame's own bytes come with it).
    virtual bool DeliversMotionJpeg() const = 0;
    // The camera's frame interval in 100-nanosecond units; 0 when it does not say.
    virtual std::int64_t CameraFrameInterval() const = 0;
    virtual void SetRecordingTap(CFrameCallback::RecordingTap tap) = 0;
};
