#pragma once
// An opened simulated microscope: pin 0 is the capture output (every frame), pin 1 the
// still output (a frame only after the still button was pressed). Frames are made on a
// streaming thread at the negotiated frame interval.

#include "CaptureBackend.h"
#include "GraphEvents.h"
#include "SimulatedBackend.h"
#include "SlideRenderer.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace backend {

class SimulatedSource : public CaptureSource {
public:
    explicit SimulatedSource(std::shared_ptr<SimulatedDevice> device);
    ~SimulatedSource() override;

    std::vector<PinCategory> OutputPins() const override;
    bool HasStreamConfig() const override { return true; }
    Result GetFormat(VideoInfoHeader& format) const override;
    Result SetFormat(const VideoInfoHeader& format) override;

    Result ConnectGrabber(int pin, const std::string& name, bool oneShot, SampleGrabberCallback* callback) override;
    void DisconnectAll() override;
    int ConnectedGrabberCount() const override;
    // The name of the grabber on `pin`, empty when none (tests look at the wiring).
    std::string GrabberOn(int pin) const { return pin >= 0 && pin < 2 ? grabbers_[pin].name : std::string(); }
    bool IsOneShot(int pin) const { return pin >= 0 && pin < 2 && grabbers_[pin].oneShot; }

    Result Run() override;
    Result Stop() override;
    bool IsRunning() const override { return running_; }

    void SetEventNotify(std::function<void()> wake) override;
    bool GetEvent(long& code, long& param1, long& param2) override;

    bool HasVideoProcAmp() const override { return true; }
    Result GetRange(int property, PropertyRange& range) const override;
    Result Get(int property, int& value, int& flags) const override;
    Result Set(int property, int value, int flags) override;

    int AnalogInputCount() const override { return 0; }
    bool CanRoute(int) const override { return false; }
    Result Route(int) override { return kNotSupported; }

private:
    struct Grabber {
        std::string name;
        bool oneShot = false;
        SampleGrabberCallback* callback = nullptr;
    };

    void StreamLoop();

    std::shared_ptr<SimulatedDevice> device_;
    // Grabbers per pin; written only while stopped, read by the streaming thread.
    Grabber grabbers_[2];
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stopRequested_ = false;

    GraphEventQueue events_;
};

} // namespace backend
