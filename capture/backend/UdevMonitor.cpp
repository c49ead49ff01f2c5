#include "capture/backend/UdevMonitor.h"

#include "framework/Logging.h"

#include <cstring>
#include <libudev.h>
#include <memory>

namespace backend {

void UdevMonitor::UdevUnref::operator()(udev* context) const
{
    udev_unref(context);
}

void UdevMonitor::UdevUnref::operator()(udev_monitor* monitor) const
{
    udev_monitor_unref(monitor);
}

UdevMonitor::UdevMonitor(std::function<void(DeviceNotification)> notify) : notify_(std::move(notify))
{
    udev_.reset(udev_new());
    if (!udev_) {
        qCWarning(lcUdev) << "no udev context: cameras plugged in later are not noticed";
        return;
    }
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "video4linux", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
        qCWarning(lcUdev) << "cannot watch udev's video4linux events";
        monitor_.reset();
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &UdevMonitor::OnReadable);
}

UdevMonitor::~UdevMonitor() = default;

void UdevMonitor::OnReadable()
{
    for (;;) {
        const std::unique_ptr<udev_device, decltype(&udev_device_unref)> owned(
            udev_monitor_receive_device(monitor_.get()), &udev_device_unref);
        udev_device* device = owned.get();
        if (!device) break;
        const char* action = udev_device_get_action(device);
        qCDebug(lcUdev) << "video4linux" << (action ? action : "?") << udev_device_get_syspath(device);
        if (action && notify_) {
            notify_(DeviceNotification::NodesChanged);
            if (std::strcmp(action, "add") == 0) notify_(DeviceNotification::InterfaceArrival);
            else if (std::strcmp(action, "remove") == 0) notify_(DeviceNotification::RemoveComplete);
        }
    }
}

} // namespace backend
