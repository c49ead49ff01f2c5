#include "capture/backend/SimulatedBackend.h"

#include "capture/backend/SimulatedSource.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace backend {

namespace {

class SimulatedHandle : public DeviceHandle {
public:
    explicit SimulatedHandle(std::string id) : id_(std::move(id)) {}
    bool IsEqual(const DeviceHandle& other) const override
    {
        auto* simulated = dynamic_cast<const SimulatedHandle*>(&other);
        return simulated && simulated->id_ == id_;
    }
    const std::string& Id() const { return id_; }

private:
    std::string id_;
};

VideoInfoHeader InitialFormat()
{
    // What a UVC microscope reports before anyone asks: 640x480 YUY2 at 30 frames a second.
    VideoInfoHeader f;
    f.width = 640;
    f.height = 480;
    f.bitCount = 16;
    f.compression = MakeFourCC('Y', 'U', 'Y', '2');
    f.imageSize = 640 * 480 * 2;
    f.averageTimePerFrame = 333333;
    f.bitRate = 30u * f.imageSize * 8u;
    f.source = {0, 0, 0, 0};
    f.target = {0, 0, 0, 0};
    return f;
}

const std::map<int, PropertyRange>& Ranges()
{
    static const std::map<int, PropertyRange> ranges = {
        {VideoProcAmp_Brightness, {-64, 64, 1, 0, kVideoProcAmpFlagsManual}},
        {VideoProcAmp_Contrast, {0, 64, 1, 32, kVideoProcAmpFlagsManual}},
        {VideoProcAmp_Hue, {-40, 40, 1, 0, kVideoProcAmpFlagsManual}},
        {VideoProcAmp_Saturation, {0, 128, 1, 64, kVideoProcAmpFlagsManual}},
        {VideoProcAmp_Sharpness, {0, 6, 1, 3, kVideoProcAmpFlagsManual}},
        {VideoProcAmp_Gamma, {72, 500, 1, 100, kVideoProcAmpFlagsManual}},
        {CameraControl_Focus,
         {SimulatedOptics::kMinFocus, SimulatedOptics::kMaxFocus, 1, SimulatedOptics::kSimulatedBestFocus,
          kVideoProcAmpFlagsManual}},
    };
    return ranges;
}

} // namespace

SimulatedDevice::SimulatedDevice(std::string id, std::string hardwareId, std::u16string friendlyName, bool hasStillPin)
    : id_(std::move(id)), hardwareId_(std::move(hardwareId)), friendlyName_(std::move(friendlyName)),
      hasStillPin_(hasStillPin), format_(InitialFormat())
{
    for (const auto& [property, range] : Ranges()) properties_[property] = {range.defaultValue, range.flags};
}

std::u16string SimulatedDevice::DisplayName() const
{
    // The shape of a catalogue name: bus path with the USB identifier, then the node.
    std::string name = "@device:sim:\\\\?\\" + hardwareId_.substr(hardwareId_.find('\\') + 1) + "&mi_00#" + id_ +
                       "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
    return std::u16string(name.begin(), name.end());
}

std::string SimulatedDevice::Identity() const
{
    std::string serial = hardwareId_.substr(hardwareId_.find('\\') + 1);
    for (char& c : serial)
        if (c == '&') c = '_';
    return "usb-" + serial + "_SIM" + id_ + "-video-index0";
}

bool SimulatedDevice::IsPlugged() const
{
    std::lock_guard lock(mutex_);
    return plugged_;
}

void SimulatedDevice::SetPlugged(bool plugged)
{
    std::lock_guard lock(mutex_);
    if (plugged_ && !plugged) {
        for (const auto& [property, range] : Ranges()) properties_[property] = {range.defaultValue, range.flags};
        automaticsOn_ = true;
        focusByMotor_ = false;
    }
    plugged_ = plugged;
}

void SimulatedDevice::PressStillButton()
{
    std::lock_guard lock(mutex_);
    stillPressed_ = true;
}

bool SimulatedDevice::TakeStillPress()
{
    std::lock_guard lock(mutex_);
    return std::exchange(stillPressed_, false);
}

int SimulatedDevice::SweptFocus(double seconds)
{
    const double phase = std::fmod(std::max(seconds, 0.0), 40.0) / 20.0; // 0..2
    const double along = phase <= 1 ? phase : 2 - phase;
    return static_cast<int>(
        std::lround(SimulatedOptics::kMinFocus + along * (SimulatedOptics::kMaxFocus - SimulatedOptics::kMinFocus)));
}

void SimulatedDevice::SetStage(StagePosition position)
{
    // The travel: the slide less a field, across; down, less a field of the widest shape (4:3).
    constexpr int kFieldMicrometres = static_cast<int>(kSimulatedFieldWidthMillimetres * 1000);
    stageX_ = std::clamp(position.x, 0, (kStageFieldsAcross - 1) * kFieldMicrometres);
    stageY_ = std::clamp(position.y, 0, (kStageFieldsDown - 1) * kFieldMicrometres * 3 / 4);
}

void SimulatedDevice::MoveStage(int dx, int dy)
{
    SetStage({stageX_ + dx, stageY_ + dy});
}

StagePosition SimulatedDevice::StagePathAt(double seconds, int width, int height)
{
    // In fields: four rows, two thirds of a field apart, from half a field in on the slide,
    // each three fields long, joined at alternate ends; then it rests at the end.
    const double fieldWidth = kSimulatedFieldWidthMillimetres * 1000;
    const double fieldHeight = fieldWidth * height / std::max(1, width);
    constexpr int kRows = 4;
    constexpr double kRowLength = 3, kRowStep = 2.0 / 3;
    double along = std::max(seconds, 0.0) * kStagePathFieldsPerSecond;
    double x = 0.5, y = 0.5;
    for (int row = 0; row < kRows; ++row) {
        const bool forward = row % 2 == 0;
        const double across = std::min(along, kRowLength);
        x = forward ? 0.5 + across : 0.5 + kRowLength - across;
        along -= across;
        if (along <= 0 || row == kRows - 1) break;
        const double down = std::min(along, kRowStep);
        y += down;
        along -= down;
        if (along <= 0) break;
    }
    return {static_cast<int>(std::lround(x * fieldWidth)), static_cast<int>(std::lround(y * fieldHeight))};
}

bool SimulatedDevice::IsSupportedFormat(const VideoInfoHeader& f)
{
    const bool size = (f.width == 320 && f.height == 240) || (f.width == 640 && f.height == 480) ||
                      (f.width == 1280 && f.height == 1024);
    return size && (f.bitCount == 16 || f.bitCount == 24) && f.averageTimePerFrame >= 0;
}

VideoInfoHeader SimulatedDevice::Format() const
{
    std::lock_guard lock(mutex_);
    return format_;
}

void SimulatedDevice::StoreFormat(const VideoInfoHeader& format)
{
    std::lock_guard lock(mutex_);
    format_ = format;
}

void SimulatedDevice::SetRefuseFormats(bool refuse)
{
    std::lock_guard lock(mutex_);
    refuseFormats_ = refuse;
}

bool SimulatedDevice::RefusesFormats() const
{
    std::lock_guard lock(mutex_);
    return refuseFormats_;
}

void SimulatedDevice::CountSetFormat()
{
    std::lock_guard lock(mutex_);
    ++setFormatCalls_;
}

int SimulatedDevice::SetFormatCalls() const
{
    std::lock_guard lock(mutex_);
    return setFormatCalls_;
}

PropertyRange SimulatedDevice::Range(int property) const
{
    auto it = Ranges().find(property);
    return it != Ranges().end() ? it->second : PropertyRange{};
}

bool SimulatedDevice::GetProperty(int property, int& value, int& flags) const
{
    std::lock_guard lock(mutex_);
    auto it = properties_.find(property);
    if (it == properties_.end()) return false;
    // The focus knob may have been turned by hand (the keys) since it was last set.
    value = property == CameraControl_Focus ? focus_.load() : it->second.first;
    flags = it->second.second;
    return true;
}

bool SimulatedDevice::SetProperty(int property, int value, int flags)
{
    auto range = Ranges().find(property);
    if (range == Ranges().end() || value < range->second.minimum || value > range->second.maximum) return false;
    std::lock_guard lock(mutex_);
    ++setPropertyCalls_;
    properties_[property] = {value, flags};
    if (property == CameraControl_Focus) {
        focus_ = value; // the lens moves, by its motor
        focusByMotor_ = (flags & kVideoProcAmpFlagsAuto) == 0;
    }
    return true;
}

int SimulatedDevice::SetPropertyCalls() const
{
    std::lock_guard lock(mutex_);
    return setPropertyCalls_;
}

std::vector<std::uint8_t> SimulatedDevice::ToneTable() const
{
    int brightness = 0, contrast = 32, gamma = 100, flags = 0;
    GetProperty(VideoProcAmp_Brightness, brightness, flags);
    GetProperty(VideoProcAmp_Contrast, contrast, flags);
    GetProperty(VideoProcAmp_Gamma, gamma, flags);
    if (brightness == 0 && contrast == 32 && gamma == 100) return {};
    std::vector<std::uint8_t> table(256);
    for (int i = 0; i < 256; ++i) {
        double v = std::pow(i / 255.0, 100.0 / gamma);
        v = (v - 0.5) * (contrast / 32.0) + 0.5 + brightness / 128.0;
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::clamp(std::lround(v * 255), 0L, 255L));
    }
    return table;
}

SimulatedBackend::SimulatedBackend(bool withMicroscope, Slide slide)
{
    microscope_ = std::make_shared<SimulatedDevice>("sim0", kMicroscopeHardwareId,
                                                    u"QRV-DM500 Digital Microscope (simulated)", true);
    microscope_->SetPlugged(withMicroscope);
    microscope_->SetSlide(slide);
    devices_.push_back(microscope_);
    nextId_ = 1;
}

bool SimulatedBackend::ListDevices(std::vector<CatalogueEntry>& devices)
{
    devices.clear();
    if (catalogueFails_) return false;
    for (const auto& device : devices_)
        if (device->IsPlugged())
            devices.push_back({device->DisplayName(), device->FriendlyName(), device->Identity(),
                               std::make_shared<SimulatedHandle>(device->Id())});
    return !devices.empty();
}

bool SimulatedBackend::IsHardwareIdPresent(const std::string& hardwareId)
{
    ++presenceQueries_;
    return std::any_of(devices_.begin(), devices_.end(), [&](const auto& device) {
        return device->IsPlugged() && EqualsIgnoringCase(device->HardwareId(), hardwareId);
    });
}

std::unique_ptr<CaptureSource> SimulatedBackend::OpenSource(const DeviceHandle& handle, OpenFailure* failure)
{
    auto* simulated = dynamic_cast<const SimulatedHandle*>(&handle);
    if (!simulated) return nullptr;
    for (const auto& device : devices_)
        if (device->Id() == simulated->Id() && device->IsPlugged()) return std::make_unique<SimulatedSource>(device);
    if (failure) *failure = {Result::DeviceGone, "simulated microscope"};
    return nullptr;
}

void SimulatedBackend::SetDeviceNotify(std::function<void(DeviceNotification)> notify)
{
    notify_ = std::move(notify);
}

std::shared_ptr<SimulatedDevice> SimulatedBackend::Microscope() const
{
    return microscope_;
}

std::shared_ptr<SimulatedDevice> SimulatedBackend::AddDevice(const std::string& hardwareId,
                                                             const std::u16string& friendlyName, bool hasStillPin)
{
    auto device =
        std::make_shared<SimulatedDevice>("sim" + std::to_string(nextId_++), hardwareId, friendlyName, hasStillPin);
    devices_.push_back(device);
    return device;
}

void SimulatedBackend::Plug(const std::shared_ptr<SimulatedDevice>& device)
{
    device->SetPlugged(true);
    Notify(DeviceNotification::NodesChanged);
    Notify(DeviceNotification::InterfaceArrival);
}

void SimulatedBackend::Unplug(const std::shared_ptr<SimulatedDevice>& device)
{
    device->SetPlugged(false);
    Notify(DeviceNotification::NodesChanged);
    Notify(DeviceNotification::RemoveComplete);
}

void SimulatedBackend::Notify(DeviceNotification notification)
{
    if (notify_) notify_(notification);
}

} // namespace backend
