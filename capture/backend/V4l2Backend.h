#pragma once
// The computer's V4L2 cameras as the capture back end: listed through udev with the USB
// identifiers in their names, opened through libv4l2, watched for plugging and unplugging.

#include "capture/backend/CaptureBackend.h"
#include "capture/backend/KernelCalls.h"
#include "capture/backend/VideoNodes.h"

#include <memory>

namespace backend {

class UdevMonitor;

class V4l2Backend : public CaptureBackend {
public:
    // `watch`: follow udev's video4linux events (the program); tests pass false.
    V4l2Backend(KernelCalls calls, std::unique_ptr<VideoNodeSource> nodes, bool watch);
    ~V4l2Backend() override;

    bool ListDevices(std::vector<CatalogueEntry>& devices) override;
    bool IsHardwareIdPresent(const std::string& hardwareId) override;
    std::unique_ptr<CaptureSource> OpenSource(const DeviceHandle& device, OpenFailure* failure = nullptr) override;
    void SetDeviceNotify(std::function<void(DeviceNotification)> notify) override;

private:
    KernelCalls calls_;
    std::unique_ptr<VideoNodeSource> nodes_;
    std::unique_ptr<UdevMonitor> monitor_;
    std::function<void(DeviceNotification)> notify_;
};

} // namespace backend
