#pragma once
// An opened simulated microscope: pin 0 is the capture output (every frame), pin 1 the
// still output (a frame only after the still button was pressed). Frames are made on a
// streaming thread at the negotiated frame interval.

#include "capture/backend/CaptureBackend.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/SlideRenderer.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace backend {

class SimulatedSource : public CaptureSource {
public:
    // The quality the simulated camera encodes its Motion JPEG frames at.
    static constexpr int kMotionJpegQuality = 85;

    explicit SimulatedSource(std::shared_ptr<SimulatedDevice> device);
    ~SimulatedSource() override;

    std::vector<PinCategory> OutputPins() const override;
    bool HasStreamConfig() const override { return true; }
    Result GetFormat(VideoInfoHeader& format) const override;
    Result SetFormat(const VideoInfoHeader& format) override;

    Result ConnectGrabber(int pin, SampleGrabberCallback* callback) override;
    void DisconnectAll() override;
    int ConnectedGrabberCount() const override;
    // The grabber on `pin`, null when none (tests look at the wiring).
    const SampleGrabberCallback* GrabberOn(int pin) const { return pin >= 0 && pin < 2 ? grabbers_[pin] : nullptr; }

    Result Run() override;
    Result Stop() override;
    bool IsRunning() const override { return running_; }

    void SetEventSink(std::function<void(StreamEvent)> sink) override { eventSink_ = std::move(sink); }

    bool HasVideoProcAmp() const override { return true; }
    Result GetRange(int property, PropertyRange& range) const override;
    Result Get(int property, int& value, int& flags) const override;
    Result Set(int property, int value, int flags) override;
    void UseCameraAutomatics() override;

    int AnalogInputCount() const override;
    bool CanRoute(int input) const override;
    Result Route(int) override { return Result::NotSupported; }

private:
    void StreamLoop();

    std::shared_ptr<SimulatedDevice> device_;
    // Grabbers per pin; written only while stopped, read by the streaming thread.
    SampleGrabberCallback* grabbers_[2] = {nullptr, nullptr};
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stopRequested_ = false;

    std::function<void(StreamEvent)> eventSink_; // set while stopped, called while streaming
};

} // namespace backend
