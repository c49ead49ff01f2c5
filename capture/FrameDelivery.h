#pragma once
// How frames reach the program. The capture output's callback keeps the latest frame in
// FrameBuffer, tells the main window when a still picture is due, hands the frame to a
// running recording and draws it; the still output's callback only marks that the camera's
// button asked for a picture.
//
// FrameBuffer and the still flags are shared with the user-interface thread by these
// orders: StillRequested is set before the frame to save arrives; the still-saving step
// reads FrameBuffer only after WM_CAPTURE_STILL; and while a keyboard request is pending
// (StillRequested 1, StillFromButton 0) the callback does not write the pixels.

#include "backend/CaptureBackend.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

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

struct FrameBufferData {
    BitmapInfoHeader header;
    std::uint32_t reserved[2] = {0, 0};
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::unique_ptr<std::uint8_t[]> pixels; // bottom-up 24-bit rows, or none
    std::size_t capacity = 0;               // grow-only
    std::size_t length = 0;                 // bytes of the frame copied last
    double sampleTime = 0;

    // Makes room for `length` bytes: allocates the first time, reallocates only to grow.
    bool Reserve(std::size_t length);
    void Free();
};

// The one latest frame of the process.
FrameBufferData& FrameBuffer();
// Held while the frame's pixels are written or copied out, so a still taken from the
// camera's button (whose frames keep arriving until the still is saved) is never torn.
std::mutex& FrameBufferLock();

// Process-wide still flags.
extern std::atomic<int> StillRequested;
extern std::atomic<int> StillFromButton;

// The recording's frame writer; set by the recorder while a recording runs.
extern std::atomic<int> RecordingActive;
using RecordingFrameWriter = void (*)(const std::uint8_t* buffer, std::size_t length);
extern std::atomic<RecordingFrameWriter> WriteRecordingFrame;

// Draws a frame; implemented by the engine window.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual int DrawFrame(const std::uint8_t* pixels, std::size_t length, int width, int height) = 0;
};

// On the capture output ("StillGrabber"): for every sample.
class CFrameCallback : public backend::SampleGrabberCallback {
public:
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length) override;

    // Written by the engine when it connects the preview branch.
    QObject* videoOwner = nullptr;
    std::atomic<QObject*> notifyWindow{nullptr};
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    std::atomic<FrameSink*> sink{nullptr};
};

// On the still output ("SampleGrabber"): the camera's button asked for a picture.
class CStillTriggerCallback : public backend::SampleGrabberCallback {
public:
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length) override;
};

CFrameCallback& FrameCallback();
CStillTriggerCallback& StillTriggerCallback();
