#include "app/DevicePresence.h"

#include "capture/CaptureGraph.h"
#include "framework/Logging.h"

DevicePresence::DevicePresence(backend::CaptureBackend& backend, CCaptureGraph& engine, QObject* parent)
    : QObject(parent), backend_(backend), engine_(engine)
{
    deviceCheckTimer_.setSingleShot(true);
    connect(&deviceCheckTimer_, &QTimer::timeout, this, &DevicePresence::CheckDevice);
    connect(&engine_, &CCaptureGraph::StreamLost, this, &DevicePresence::OnStreamLost);
}

DevicePresence::~DevicePresence()
{
    backend_.SetDeviceNotify(nullptr);
}

void DevicePresence::Start()
{
    backend_.SetDeviceNotify([this](backend::DeviceNotification n) { OnDeviceChange(n); });
    if (engine_.RefreshDeviceList() && engine_.BuildGraph()) {
        if (!engine_.ConnectPreview()) {
            deviceCheckTimer_.start(100); // the camera was not ready: look again shortly
        } else if (engine_.StartPreview()) {
            Settle(true);
            return;
        }
    }
    TearDownEngine();
    Settle(false);
}

void DevicePresence::Stop()
{
    deviceCheckTimer_.stop();
    TearDownEngine();
    backend_.SetDeviceNotify(nullptr);
}

void DevicePresence::TearDownEngine()
{
    engine_.StopPreview();
    engine_.TearDownDownstream();
    engine_.ReleaseAll();
}

void DevicePresence::OnDeviceChange(backend::DeviceNotification notification)
{
    switch (notification) {
    case backend::DeviceNotification::NodesChanged:
        // Every further notification within the second postpones the check.
        deviceCheckTimer_.start(kSettleMs);
        break;
    case backend::DeviceNotification::InterfaceArrival:
    case backend::DeviceNotification::RemoveComplete: CheckDevice(); break;
    }
}

bool DevicePresence::BuildAndStart()
{
    return engine_.RefreshDeviceList() && engine_.BuildGraph() && engine_.ConnectPreview() && engine_.StartPreview();
}

void DevicePresence::CheckDevice()
{
    deviceCheckTimer_.stop();
    if (engine_.IsRunning() && engine_.IsDevicePresent()) {
        engine_.RefreshDeviceList(); // another device came or went; the preview stays
        emit DeviceListChanged();
        return;
    }
    TearDownEngine();
    const bool streaming = BuildAndStart();
    if (!streaming) TearDownEngine();
    Settle(streaming);
    emit DeviceListChanged();
}

void DevicePresence::OnStreamLost(backend::StreamEvent event)
{
    TearDownEngine();
    Settle(false);
    // A camera that is still plugged in but stopped delivering is tried again; one that went
    // away comes back through udev's notifications.
    if (event == backend::StreamEvent::StreamFailed) deviceCheckTimer_.start(kRetryAfterFailureMs);
}

void DevicePresence::Settle(bool streaming)
{
    const auto& failure = engine_.LastOpenFailure();
    if (streaming) {
        state_ = State::Streaming;
        deniedNode_.clear();
    } else if (failure.reason == backend::Result::AccessDenied) {
        state_ = State::AccessDenied;
        deniedNode_ = QString::fromStdString(failure.node);
        qCWarning(lcCapture) << "no permission to open" << deniedNode_;
    } else {
        state_ = State::NoMicroscope;
        deniedNode_.clear();
    }
    emit StateChanged(state_);
}
