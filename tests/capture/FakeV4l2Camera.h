#pragma once
// A camera behind the V4L2 back end's table of kernel calls: formats and sizes, buffers,
// streaming, controls, a still button, and unplugging in the middle of streaming.

#include "capture/backend/KernelCalls.h"
#include "capture/backend/VideoNodes.h"

#include <QByteArray>

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class FakeV4l2Camera {
public:
    static constexpr int kVideoFd = 9000;
    static constexpr int kButtonFd = 9001;

    FakeV4l2Camera();
    backend::KernelCalls Calls();
    backend::VideoNode Node() const;

    // A damaged buffer is filled with this value, which no good frame holds: good rows hold
    // their row number modulo 250, in YUYV as grey (U and V at 128).
    static constexpr std::uint8_t kPoison = 250;

    // What the next dequeues do, one entry each, before the camera goes back to normal.
    enum class Fault { ErrorFlag, Eio, Eagain, TruncatedJpeg };
    void ScriptFaults(const std::vector<Fault>& faults);
    // Every fifth buffer comes flagged as damaged (on at first).
    void SetOccasionalDamage(bool on);
    // No buffer becomes ready until the stream is restarted (or for good).
    void Stall(bool untilRestart);
    // Streaming cannot be switched on again once it has been switched off.
    void FailRestarts();
    // Rows padded beyond their pixels by this many bytes (bytesperline).
    void SetRowPadding(std::uint32_t bytes);
    // Opening the node is refused as for a user without permission.
    void DenyAccess();
    // The device capabilities the node reports.
    void SetDeviceCaps(std::uint32_t caps);
    // Whether the camera offers MJPEG beside YUYV (it does at first, like a UVC microscope).
    void SetOffersMjpeg(bool offers);
    // The grey level of the top-left block of MJPEG frame `sequence`: the frame's mark.
    static int MarkOf(std::uint32_t sequence) { return 20 + static_cast<int>(sequence * 37 % 200); }
    std::uint32_t FramesServed() const;
    // Frames become ready at the negotiated interval, as from a real sensor, instead of as
    // fast as they are taken.
    void SetPaced(bool paced);
    // Serve one JPEG made once instead of a new one per frame (for benchmarks: the cost
    // measured is then the program's, not the fake camera's).
    void SetReuseJpeg(bool reuse);

    // Controls: a new one (range 0..255, default 128 for brightness, 32 else, as the first
    // two), its value, and EBUSY for every change while the camera streams.
    void AddControl(std::uint32_t id, int value);
    int Control(std::uint32_t id) const;
    void SetControlsBusyWhileStreaming(bool busy);
    // Video inputs VIDIOC_ENUMINPUT lists (1 at first: the camera itself).
    void SetInputCount(std::uint32_t count);

    void PressButton();
    void Unplug();
    int OpenFds() const;
    int MappedBuffers() const;
    int StreamOnCount() const;
    std::uint32_t PixelFormat() const;

private:
    int Ioctl(unsigned long request, void* argument);
    int Poll(pollfd* fds, nfds_t count, int timeoutMs);
    void FillFrame(std::vector<std::uint8_t>& buffer, std::uint32_t& bytesUsed);
    bool FrameIsDue() const; // under the lock

    mutable std::mutex mutex_;
    bool plugged_ = true;
    bool streaming_ = false;
    int openFds_ = 0;
    std::uint32_t width_ = 640, height_ = 480, pixelFormat_ = 0;
    std::uint32_t intervalNumerator_ = 1, intervalDenominator_ = 30;
    std::vector<std::vector<std::uint8_t>> buffers_;
    std::deque<std::uint32_t> queued_;
    int mapped_ = 0;
    std::uint32_t sequence_ = 0;
    std::map<std::uint32_t, int> controls_;
    bool controlsBusyWhileStreaming_ = false;
    std::uint32_t inputCount_ = 1;
    int pendingPresses_ = 0;
    std::deque<Fault> faults_;
    bool occasionalDamage_ = true;
    bool stalled_ = false;
    bool stallForGood_ = false;
    bool failRestarts_ = false;
    std::uint32_t rowPadding_ = 0;
    bool denyAccess_ = false;
    std::uint32_t deviceCaps_;
    int streamOnCount_ = 0;
    bool offersMjpeg_ = true;
    bool reuseJpeg_ = false;
    bool paced_ = false;
    std::chrono::steady_clock::time_point nextDue_;
    QByteArray madeJpeg_;
};

// The node list of a computer with the fake camera plugged in, beside other USB devices.
class FakeV4l2Nodes : public backend::VideoNodeSource {
public:
    explicit FakeV4l2Nodes(FakeV4l2Camera& camera,
                           std::vector<std::string> usbIds = {"USB\\Vid_8087&Pid_0024", "USB\\Vid_5e1a&Pid_2c07"})
        : camera_(camera), usbIds_(std::move(usbIds))
    {
    }
    std::vector<backend::VideoNode> CaptureNodes() override { return {camera_.Node()}; }
    std::vector<std::string> UsbHardwareIds() override { return usbIds_; }

private:
    FakeV4l2Camera& camera_;
    std::vector<std::string> usbIds_;
};
