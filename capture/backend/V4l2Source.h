#pragma once
// A V4L2 camera opened for capture: memory-mapped streaming on its own thread, the camera's
// own format (MJPEG where it has it, else YUYV) converted to 24-bit BGR by libv4lconvert
// (the Motion JPEG bytes handed on too, for recording them as they are), the still button
// read from the camera's input device, the picture controls as the video properties.
//
// The streaming thread rides out what real cameras do: a damaged buffer, an EIO or EAGAIN
// from DQBUF (libv4l2 after frames it could not decode) are given back and streaming goes
// on; a run of them, or no frame for five frame periods (two seconds at least), restarts the
// stream once; only when that does not help is the stream reported failed.

#include "capture/backend/CaptureBackend.h"
#include "capture/backend/FrameConverter.h"
#include "capture/backend/KernelCalls.h"
#include "capture/backend/VideoNodes.h"

#include <atomic>
#include <chrono>
#include <linux/videodev2.h>
#include <memory>
#include <optional>
#include <thread>

struct v4l2_buffer;

namespace backend {

class V4l2Source : public CaptureSource {
public:
    // Consecutive failed dequeues that count as a broken stream.
    static constexpr int kErrorRunLimit = 10;

    V4l2Source(const KernelCalls& calls, VideoNode node);
    ~V4l2Source() override;

    bool IsOpen() const { return fd_.IsValid(); }
    // Why the camera could not be opened (Ok when it is open).
    Result OpenError() const { return openError_; }

    std::vector<PinCategory> OutputPins() const override { return {PinCategory::Capture, PinCategory::Still}; }
    bool HasStreamConfig() const override { return IsOpen(); }
    Result GetFormat(VideoInfoHeader& format) const override;
    Result SetFormat(const VideoInfoHeader& format) override;

    Result ConnectGrabber(int pin, SampleGrabberCallback* callback) override;
    void DisconnectAll() override;
    int ConnectedGrabberCount() const override;

    Result Run() override;
    Result Stop() override;
    bool IsRunning() const override { return running_; }

    void SetEventSink(std::function<void(StreamEvent)> sink) override { eventSink_ = std::move(sink); }

    bool HasVideoProcAmp() const override { return IsOpen(); }
    Result GetRange(int property, PropertyRange& range) const override;
    Result Get(int property, int& value, int& flags) const override;
    Result Set(int property, int value, int flags) override;
    void UseCameraAutomatics() override;

    int AnalogInputCount() const override;
    bool CanRoute(int input) const override;
    Result Route(int input) override;

private:
    // What one dequeue came to.
    enum class Dequeued { Frame, Damaged, Lost };

    Result StartStreaming();
    void StopStreaming();
    void StreamLoop();
    Dequeued DequeueOne(std::chrono::steady_clock::time_point start);
    bool Requeue(v4l2_buffer& buffer);
    // Where the motorised focus stands while it is set by hand in the program (not automatic).
    std::optional<int> ManualFocusPosition() const;
    bool DeliverBuffer(std::uint32_t index, std::uint32_t bytesUsed, double seconds);
    std::chrono::milliseconds StallTimeout() const;
    void ReportAndWaitForStop(StreamEvent event);
    void ReadButton();
    int Ioctl(unsigned long request, void* argument) const;
    bool HasControl(std::uint32_t id) const;

    KernelCalls calls_;
    VideoNode node_;
    OwnedFd fd_;
    OwnedFd buttonFd_;
    OwnedFd stopFd_;
    Result openError_ = Result::Ok;
    // Written only while stopped, read by the streaming thread.
    SampleGrabberCallback* grabbers_[2] = {nullptr, nullptr};
    std::function<void(StreamEvent)> eventSink_;
    // Owned by the streaming thread while it runs (a restart remaps them), by Run/Stop else.
    std::vector<MappedBuffer> buffers_;
    std::int64_t frameInterval100ns_ = 0;
    // Whether the camera drives its focus by motor (an absolute focus control), and has an
    // automatic for it; found when the stream starts.
    bool focusMotor_ = false, focusAutomatic_ = false;
    // What the camera sends while streaming, and its conversion into frames.
    std::unique_ptr<FrameConverter> converter_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stillPressed_{false};
    std::thread thread_;
};

} // namespace backend
