#include "capture/backend/V4l2Backend.h"

#include "capture/backend/UdevMonitor.h"
#include "capture/backend/V4l2Source.h"

#include <algorithm>
#include <cctype>

namespace backend {

namespace {

class V4l2Handle : public DeviceHandle {
public:
    explicit V4l2Handle(std::string syspath) : syspath_(std::move(syspath)) {}
    bool IsEqual(const DeviceHandle& other) const override
    {
        auto* v4l2 = dynamic_cast<const V4l2Handle*>(&other);
        return v4l2 && v4l2->syspath_ == syspath_;
    }
    const std::string& Syspath() const { return syspath_; }

private:
    std::string syspath_;
};

std::u16string Widen(const std::string& text)
{
    // Names are UTF-8; the catalogue holds UTF-16.
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char32_t code = c;
        std::size_t extra = 0;
        if (c >= 0xF0) {
            code = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            code = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            code = c & 0x1F;
            extra = 1;
        }
        ++i;
        for (std::size_t k = 0; k < extra && i < text.size(); ++k, ++i)
            code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

} // namespace

V4l2Backend::V4l2Backend(KernelCalls calls, std::unique_ptr<VideoNodeSource> nodes, bool watch)
    : calls_(std::move(calls)), nodes_(std::move(nodes))
{
    if (watch)
        monitor_ = std::make_unique<UdevMonitor>([this](DeviceNotification n) {
            if (notify_) notify_(n);
        });
}

V4l2Backend::~V4l2Backend() = default;

bool V4l2Backend::ListDevices(std::vector<CatalogueEntry>& devices)
{
    devices.clear();
    for (const VideoNode& node : nodes_->CaptureNodes())
        devices.push_back(
            {Widen(DisplayNameOf(node)), Widen(node.name), node.identity, std::make_shared<V4l2Handle>(node.syspath)});
    return !devices.empty();
}

bool V4l2Backend::IsHardwareIdPresent(const std::string& hardwareId)
{
    const auto ids = nodes_->UsbHardwareIds();
    return std::any_of(ids.begin(), ids.end(),
                       [&](const std::string& id) { return EqualsIgnoringCase(id, hardwareId); });
}

std::unique_ptr<CaptureSource> V4l2Backend::OpenSource(const DeviceHandle& device, OpenFailure* failure)
{
    auto* handle = dynamic_cast<const V4l2Handle*>(&device);
    if (!handle) return nullptr;
    for (VideoNode& node : nodes_->CaptureNodes()) {
        if (node.syspath != handle->Syspath()) continue;
        const std::string devnode = node.devnode;
        auto source = std::make_unique<V4l2Source>(calls_, std::move(node));
        if (source->IsOpen()) return source;
        if (failure) *failure = {source->OpenError(), devnode};
        return nullptr;
    }
    if (failure) *failure = {Result::DeviceGone, {}};
    return nullptr;
}

void V4l2Backend::SetDeviceNotify(std::function<void(DeviceNotification)> notify)
{
    notify_ = std::move(notify);
}

} // namespace backend
