#pragma once
// Several back ends seen as one catalogue: the real cameras and, on request, the simulated
// microscope.

#include "capture/backend/CaptureBackend.h"

#include <memory>
#include <vector>

namespace backend {

class CompositeBackend : public CaptureBackend {
public:
    void Add(std::unique_ptr<CaptureBackend> member);

    bool ListDevices(std::vector<CatalogueEntry>& devices) override;
    bool IsHardwareIdPresent(const std::string& hardwareId) override;
    std::unique_ptr<CaptureSource> OpenSource(const DeviceHandle& device, OpenFailure* failure = nullptr) override;
    void SetDeviceNotify(std::function<void(DeviceNotification)> notify) override;

private:
    std::vector<std::unique_ptr<CaptureBackend>> members_;
};

} // namespace backend
