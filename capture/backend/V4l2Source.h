#pragma once
// A V4L2 camera opened for capture: memory-mapped streaming on its own thread, frames
// converted to 24-bit BGR (by libv4l2) and flipped to bottom-up rows, the still button read
// from the camera's input device, the picture controls as the video properties.

#include "CaptureBackend.h"
#include "GraphEvents.h"
#include "KernelCalls.h"
#include "VideoNodes.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace backend {

class V4l2Source : public CaptureSource {
public:
    V4l2Source(const KernelCalls& calls, VideoNode node);
    ~V4l2Source() override;

    bool IsOpen() const { return fd_ >= 0; }

    std::vector<PinCategory> OutputPins() const override { return {PinCategory::Capture, PinCategory::Still}; }
    bool HasStreamConfig() const override { return IsOpen(); }
    Result GetFormat(VideoInfoHeader& format) const override;
    Result SetFormat(const VideoInfoHeader& format) override;

    Result ConnectGrabber(int pin, const std::string& name, bool oneShot, SampleGrabberCallback* callback) override;
    void DisconnectAll() override;
    int ConnectedGrabberCount() const override;

    Result Run() override;
    Result Stop() override;
    bool IsRunning() const override { return running_; }

    void SetEventNotify(std::function<void()> wake) override;
    bool GetEvent(long& code, long& param1, long& param2) override;

    bool HasVideoProcAmp() const override { return IsOpen(); }
    Result GetRange(int property, PropertyRange& range) const override;
    Result Get(int property, int& value, int& flags) const override;
    Result Set(int property, int value, int flags) override;

    int AnalogInputCount() const override;
    bool CanRoute(int input) const override;
    Result Route(int input) override;

private:
    struct Mapping {
        void* address = nullptr;
        std::size_t length = 0;
    };
    struct Grabber {
        std::string name;
        bool oneShot = false;
        SampleGrabberCallback* callback = nullptr;
    };

    Result StartStreaming();
    void StopStreaming();
    void StreamLoop();
    bool DeliverBuffer(std::uint32_t index, std::uint32_t bytesUsed, double seconds);
    void ReadButton();
    int Ioctl(unsigned long request, void* argument) const;

    KernelCalls calls_;
    VideoNode node_;
    int fd_ = -1;
    int buttonFd_ = -1;
    int stopFd_ = -1;
    Grabber grabbers_[2];
    std::vector<Mapping> buffers_;
    int width_ = 0, height_ = 0;
    std::size_t bytesPerLine_ = 0;
    std::vector<std::uint8_t> frame_; // bottom-up BGR rows padded to 4 bytes
    std::atomic<bool> running_{false};
    std::atomic<bool> stillPressed_{false};
    std::thread thread_;
    GraphEventQueue events_;
};

} // namespace backend
