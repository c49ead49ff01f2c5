#pragma once
// The simulated microscope: a catalogue entry carrying the microscope's USB identifier, a
// source with a capture output and a still output delivering specimen frames at the
// negotiated size and rate, a still button, and video properties held in memory. Tests
// plug and unplug it and press its button; other (non-microscope) cameras can be added.

#include "capture/backend/CaptureBackend.h"
#include "capture/backend/SlideRenderer.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace backend {

class SimulatedBackend;

// One simulated USB video device, shared by the catalogue and its opened source.
class SimulatedDevice {
public:
    SimulatedDevice(std::string id, std::string hardwareId, std::u16string friendlyName, bool hasStillPin);

    const std::string& Id() const { return id_; }
    const std::string& HardwareId() const { return hardwareId_; } // e.g. "USB\Vid_5e1a&Pid_2c07"
    std::u16string DisplayName() const;
    const std::u16string& FriendlyName() const { return friendlyName_; }
    bool HasStillPin() const { return hasStillPin_; }

    // The name that survives replugging: the by-id shape with a serial of its own.
    std::string Identity() const;

    // Unplugging powers the camera off: its picture properties go back to their defaults.
    bool IsPlugged() const;
    void SetPlugged(bool plugged);

    // The camera's button: the next frame also goes out on the still output.
    void PressStillButton();
    bool TakeStillPress();

    // Formats the camera accepts: 320x240, 640x480, 1280x1024 at 16 or 24 bits.
    static bool IsSupportedFormat(const VideoInfoHeader& format);
    VideoInfoHeader Format() const;
    void StoreFormat(const VideoInfoHeader& format);
    // Makes the camera refuse every SetFormat (a camera that only keeps its own format).
    void SetRefuseFormats(bool refuse);
    bool RefusesFormats() const;
    int SetFormatCalls() const;
    void CountSetFormat();

    PropertyRange Range(int property) const;
    bool GetProperty(int property, int& value, int& flags) const;
    bool SetProperty(int property, int value, int flags);
    // Values and flags sent with SetProperty, counted (tests check what reached the camera).
    int SetPropertyCalls() const;
    // A camera that refuses control changes while it streams (EBUSY on V4L2).
    void SetBusyWhileStreaming(bool busy) { busyWhileStreaming_ = busy; }
    bool BusyWhileStreaming() const { return busyWhileStreaming_; }
    // The camera's white balance, exposure and gain automatics.
    void SetAutomaticsOn(bool on) { automaticsOn_ = on; }
    bool AutomaticsOn() const { return automaticsOn_; }
    // What lies under the lens; taken when the stream starts.
    void SetSlide(Slide slide) { slide_ = slide; }
    Slide CurrentSlide() const { return slide_; }
    // The optics and the lamp (read by the streaming thread at every frame).
    void SetUnevenLamp(bool on) { unevenLamp_ = on; }
    void SetBlankField(bool on) { blankField_ = on; }
    bool BlankField() const { return blankField_; }
    // The focus knob turned by hand, kept within its travel.
    void SetFocus(int position)
    {
        focus_ = std::clamp(position, SimulatedOptics::kMinFocus, SimulatedOptics::kMaxFocus);
        focusByMotor_ = false;
    }
    int Focus() const { return focus_; }
    // Whether the lens was last moved by its motor (the focus control), so the camera knows
    // where it stands; a turn by hand or the sweep leaves it unknown.
    bool FocusByMotor() const { return focusByMotor_ && !focusSweep_; }
    // The focus knob turned by itself through its travel and back, 20 seconds each way (for
    // stacking through the relief specimen without a hand on the knob).
    void SetFocusSweep(bool on) { focusSweep_ = on; }
    bool SweepsFocus() const { return focusSweep_; }
    static int SweptFocus(double seconds);
    // The stage (the stage slide): where it holds the slide, in micrometres, kept within its
    // travel; moved by keys, or along a path by itself: across and back over 4 x 3 fields in
    // rows that overlap, as one scans a specimen for a mosaic.
    void SetStage(StagePosition position);
    void MoveStage(int dx, int dy);
    StagePosition Stage() const { return {stageX_, stageY_}; }
    void SetStagePath(bool on) { stagePath_ = on; }
    bool FollowsStagePath() const { return stagePath_; }
    static StagePosition StagePathAt(double seconds, int width, int height);
    static constexpr double kStagePathFieldsPerSecond = 0.35;
    SimulatedOptics Optics() const { return {unevenLamp_, blankField_, focus_, Stage()}; }
    // Whether the camera sends Motion JPEG, as a USB 2 microscope does (without Huffman
    // tables, as UVC cameras send it), or uncompressed pixels. Taken when the stream starts.
    void SetMotionJpeg(bool on) { motionJpeg_ = on; }
    bool SendsMotionJpeg() const { return motionJpeg_; }
    // Video inputs to choose among (0: just the camera, as a microscope has).
    void SetInputCount(int count) { inputCount_ = count; }
    int InputCount() const { return inputCount_; }
    // Byte map for brightness, contrast and gamma; empty when all are at their defaults.
    std::vector<std::uint8_t> ToneTable() const;

private:
    friend class SimulatedBackend;
    std::string id_;
    std::string hardwareId_;
    std::u16string friendlyName_;
    bool hasStillPin_;
    mutable std::mutex mutex_;
    bool plugged_ = true;
    bool stillPressed_ = false;
    bool refuseFormats_ = false;
    int setFormatCalls_ = 0;
    int setPropertyCalls_ = 0;
    // Set by tests and the program, read by the streaming thread: no lock needed.
    std::atomic<bool> busyWhileStreaming_{false};
    std::atomic<bool> automaticsOn_{true};
    std::atomic<int> inputCount_{0};
    std::atomic<Slide> slide_{Slide::Tissue};
    std::atomic<bool> unevenLamp_{false};
    std::atomic<bool> blankField_{false};
    std::atomic<bool> motionJpeg_{false};
    std::atomic<bool> focusSweep_{false};
    std::atomic<int> focus_{SimulatedOptics::kSimulatedBestFocus};
    std::atomic<bool> focusByMotor_{false};
    // The stage starts with the field in the middle of the slide.
    std::atomic<int> stageX_{3200}, stageY_{1800};
    std::atomic<bool> stagePath_{false};
    VideoInfoHeader format_;
    std::map<int, std::pair<int, int>> properties_; // value, flags
};

class SimulatedBackend : public CaptureBackend {
public:
    static constexpr const char* kMicroscopeHardwareId = "USB\\Vid_5e1a&Pid_2c07";

    // With `withMicroscope`, the catalogue starts with one plugged-in microscope.
    explicit SimulatedBackend(bool withMicroscope = true, Slide slide = Slide::Tissue);

    bool ListDevices(std::vector<CatalogueEntry>& devices) override;
    bool IsHardwareIdPresent(const std::string& hardwareId) override;
    std::unique_ptr<CaptureSource> OpenSource(const DeviceHandle& device, OpenFailure* failure = nullptr) override;
    void SetDeviceNotify(std::function<void(DeviceNotification)> notify) override;

    // Test control.
    std::shared_ptr<SimulatedDevice> Microscope() const;
    std::shared_ptr<SimulatedDevice> AddDevice(const std::string& hardwareId, const std::u16string& friendlyName,
                                               bool hasStillPin = true);
    void Plug(const std::shared_ptr<SimulatedDevice>& device);
    void Unplug(const std::shared_ptr<SimulatedDevice>& device);
    void SetCatalogueFails(bool fails) { catalogueFails_ = fails; }
    int PresenceQueries() const { return presenceQueries_; }

private:
    void Notify(DeviceNotification notification);

    std::vector<std::shared_ptr<SimulatedDevice>> devices_;
    std::shared_ptr<SimulatedDevice> microscope_;
    std::function<void(DeviceNotification)> notify_;
    bool catalogueFails_ = false;
    int presenceQueries_ = 0;
    int nextId_ = 0;
};

} // namespace backend
