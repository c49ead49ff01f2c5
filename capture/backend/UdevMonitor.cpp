#include "UdevMonitor.h"

#include <QSocketNotifier>

#include <cstring>
#include <libudev.h>

namespace backend {

UdevMonitor::UdevMonitor(std::function<void(DeviceNotification)> notify) : notify_(std::move(notify))
{
    udev_ = udev_new();
    if (!udev_) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "video4linux", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        return;
    }
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &UdevMonitor::OnReadable);
}

UdevMonitor::~UdevMonitor()
{
    delete notifier_;
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

void UdevMonitor::OnReadable()
{
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        if (action && notify_) {
            notify_(DeviceNotification::NodesChanged);
            if (std::strcmp(action, "add") == 0) notify_(DeviceNotification::InterfaceArrival);
            else if (std::strcmp(action, "remove") == 0) notify_(DeviceNotification::RemoveComplete);
        }
        udev_device_unref(device);
    }
}

} // namespace backend
