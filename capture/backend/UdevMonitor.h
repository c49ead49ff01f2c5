#pragma once
// udev's video4linux events, read on the user-interface thread and turned into the three
// device notifications: nodes changed, then arrival or removal.

#include "CaptureBackend.h"

#include <QObject>

#include <functional>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace backend {

class UdevMonitor : public QObject {
    Q_OBJECT
public:
    explicit UdevMonitor(std::function<void(DeviceNotification)> notify);
    ~UdevMonitor() override;
    bool IsWatching() const { return monitor_ != nullptr; }

private:
    void OnReadable();

    std::function<void(DeviceNotification)> notify_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace backend
