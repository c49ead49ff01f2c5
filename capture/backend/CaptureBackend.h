#pragma once
// The capture back end: everything the capture engine needs of the platform's camera
// stack, so the engine's own logic (device table, pin choice, formats, flags) runs the same
// on V4L2, on the simulated microscope and on test fakes.
//
// Threads: every call is made on the user-interface thread. Grabber callbacks and stream
// events run on the back end's streaming thread; device notifications are delivered on the
// thread that caused them (the user-interface thread for udev and for tests).

#include "capture/backend/VideoInfoHeader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace backend {

// What an operation of the back end came to.
enum class Result {
    Ok,
    Failed,
    NotFound,         // no such pin, property or device
    CannotConnect,    // the output does not take a grabber
    AlreadyConnected, // the output has its grabber already
    DeviceGone,       // the camera was unplugged
    AccessDenied,     // the camera's node exists but this user may not open it
    InvalidArgument,  // the camera refuses this format or value
    NotSupported,
    Busy, // the camera refuses this now (a control while streaming); later it may not
};
inline bool Succeeded(Result r)
{
    return r == Result::Ok;
}
inline bool Failed(Result r)
{
    return r != Result::Ok;
}

// Hardware identifiers compare whole, ignoring letter case.
inline bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// A device of the catalogue. Handles compare equal when they name the same device across
// two listings (the same node of the same USB device).
class DeviceHandle {
public:
    virtual ~DeviceHandle() = default;
    virtual bool IsEqual(const DeviceHandle& other) const = 0;
};

struct CatalogueEntry {
    std::u16string displayName;  // carries the USB identifier, as "...Vid_5e1a&Pid_2c07..."
    std::u16string friendlyName; // the name a user knows the camera by
    // Names this camera whichever node or port it gets: its USB serial where it has one, as
    // in /dev/v4l/by-id. Empty when the back end cannot tell.
    std::string identity;
    std::shared_ptr<const DeviceHandle> handle;
};

// The three device notifications the main window reacts to.
enum class DeviceNotification { NodesChanged, InterfaceArrival, RemoveComplete };

// Receives every sample of one output on the streaming thread: stream time in seconds,
// 24-bit top-down BGR rows of the capture size (rows padded to 4 bytes), byte count.
class SampleGrabberCallback {
public:
    virtual ~SampleGrabberCallback() = default;
    virtual void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length) = 0;
    // When the camera sends Motion JPEG: the sample's own JPEG bytes, just before BufferCB
    // gets the same sample decoded. The bytes are valid until that BufferCB returns.
    virtual void CompressedCB(double sampleTime, const std::uint8_t* bytes, std::size_t length)
    {
        (void)sampleTime, (void)bytes, (void)length;
    }
    // When the camera drives its focus by motor (not by hand, not automatically): the lens's
    // position (the focus control's units) for the sample BufferCB gets next.
    virtual void FocusPositionCB(double sampleTime, int position) { (void)sampleTime, (void)position; }
};

enum class PinCategory { Capture, Still, Preview, AnalogVideoIn };

// The video processing amplifier's property numbers.
enum VideoProcAmpProperty : int {
    VideoProcAmp_Brightness = 0,
    VideoProcAmp_Contrast = 1,
    VideoProcAmp_Hue = 2,
    VideoProcAmp_Saturation = 3,
    VideoProcAmp_Sharpness = 4,
    VideoProcAmp_Gamma = 5,
    CameraControl_Focus = 6, // the lens's focus position, on cameras that drive it
};
constexpr int kVideoProcAmpFlagsAuto = 1;
constexpr int kVideoProcAmpFlagsManual = 2;

struct PropertyRange {
    int minimum = 0, maximum = 0, stepping = 0, defaultValue = 0, flags = 0;
};

// What a running stream reports to the engine, from the streaming thread.
enum class StreamEvent {
    DeviceLost,   // the camera went away: no more samples
    StreamFailed, // the camera is there but stopped delivering, and a restart did not help
};

// An opened camera: its outputs, format, grabbers, streaming, properties and inputs.
class CaptureSource {
public:
    virtual ~CaptureSource() = default;

    // Output pins in enumeration order.
    virtual std::vector<PinCategory> OutputPins() const = 0;

    // Stream configuration of the capture output; false when the camera offers none.
    virtual bool HasStreamConfig() const = 0;
    virtual Result GetFormat(VideoInfoHeader& format) const = 0;
    virtual Result SetFormat(const VideoInfoHeader& format) = 0;

    // Puts a grabber on output pin `pin`; CannotConnect when there is no such pin,
    // AlreadyConnected when it has one. Frames of a still output arrive only when the
    // camera's button is pressed. Only while stopped.
    virtual Result ConnectGrabber(int pin, SampleGrabberCallback* callback) = 0;
    // Disconnects and removes every grabber (everything downstream of the source).
    virtual void DisconnectAll() = 0;
    virtual int ConnectedGrabberCount() const = 0;

    virtual Result Run() = 0;
    // Ends every callback before it returns.
    virtual Result Stop() = 0;
    virtual bool IsRunning() const = 0;

    // Receives the stream's events on the streaming thread. Only while stopped.
    virtual void SetEventSink(std::function<void(StreamEvent)> sink) = 0;

    // Video processing amplifier; false from HasVideoProcAmp when the camera has none.
    // The range's flags say which of automatic and manual the camera offers for the
    // property; Set with kVideoProcAmpFlagsAuto hands the property to the camera where it can.
    virtual bool HasVideoProcAmp() const = 0;
    virtual Result GetRange(int property, PropertyRange& range) const = 0;
    virtual Result Get(int property, int& value, int& flags) const = 0;
    virtual Result Set(int property, int value, int flags) = 0;
    // Hands white balance, exposure and gain back to the camera's own automatics, where it
    // has them.
    virtual void UseCameraAutomatics() {}

    // Video inputs to choose among, offered as crossbar routes; 0 when the camera has just
    // one (a USB microscope).
    virtual int AnalogInputCount() const = 0;
    virtual bool CanRoute(int input) const = 0;
    virtual Result Route(int input) = 0;
};

class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;

    // Lists the video input devices. False on failure or when there is none (the engine
    // then keeps its previous table).
    virtual bool ListDevices(std::vector<CatalogueEntry>& devices) = 0;
    // A present imaging device has exactly this hardware identifier (case ignored).
    virtual bool IsHardwareIdPresent(const std::string& hardwareId) = 0;
    // Opens the device for capture; null when it cannot be opened, and then `failure` (when
    // given) says why and names the node.
    struct OpenFailure {
        Result reason = Result::Failed;
        std::string node; // e.g. /dev/video2
    };
    virtual std::unique_ptr<CaptureSource> OpenSource(const DeviceHandle& device, OpenFailure* failure = nullptr) = 0;

    virtual void SetDeviceNotify(std::function<void(DeviceNotification)> notify) = 0;
};

} // namespace backend
