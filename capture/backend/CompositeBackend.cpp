#include "capture/backend/CompositeBackend.h"

namespace backend {

void CompositeBackend::Add(std::unique_ptr<CaptureBackend> member)
{
    members_.push_back(std::move(member));
}

bool CompositeBackend::ListDevices(std::vector<CatalogueEntry>& devices)
{
    devices.clear();
    for (auto& member : members_) {
        std::vector<CatalogueEntry> listed;
        if (member->ListDevices(listed)) devices.insert(devices.end(), listed.begin(), listed.end());
    }
    return !devices.empty();
}

bool CompositeBackend::IsHardwareIdPresent(const std::string& hardwareId)
{
    for (auto& member : members_)
        if (member->IsHardwareIdPresent(hardwareId)) return true;
    return false;
}

std::unique_ptr<CaptureSource> CompositeBackend::OpenSource(const DeviceHandle& device, OpenFailure* failure)
{
    // Only the member the handle belongs to says why it failed.
    for (auto& member : members_)
        if (auto source = member->OpenSource(device, failure)) return source;
    return nullptr;
}

void CompositeBackend::SetDeviceNotify(std::function<void(DeviceNotification)> notify)
{
    for (auto& member : members_) member->SetDeviceNotify(notify);
}

} // namespace backend
