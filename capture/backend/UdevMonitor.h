#pragma once
// udev's video4linux events, read on the user-interface thread and turned into the three
// device notifications: nodes changed, then arrival or removal.

#include "capture/backend/CaptureBackend.h"

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

struct udev;
struct udev_monitor;

namespace backend {

class UdevMonitor : public QObject {
    Q_OBJECT
public:
    explicit UdevMonitor(std::function<void(DeviceNotification)> notify);
    ~UdevMonitor() override;
    bool IsWatching() const { return notifier_ != nullptr; }

private:
    struct UdevUnref {
        void operator()(udev* context) const;
        void operator()(udev_monitor* monitor) const;
    };

    void OnReadable();

    std::function<void(DeviceNotification)> notify_;
    std::unique_ptr<udev, UdevUnref> udev_;
    std::unique_ptr<udev_monitor, UdevUnref> monitor_;
    // Declared last: it stops watching the monitor's descriptor before the monitor goes.
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace backend
