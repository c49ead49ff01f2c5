#pragma once
// Keeps the live picture going as the microscope comes and goes: starts the engine, waits
// for a quiet second after udev's notifications before looking again, and handles a stream
// that ended by itself. It says what it found through StateChanged; the main window shows it.

#include "capture/backend/CaptureBackend.h"

#include <QObject>
#include <QString>
#include <QTimer>

class CCaptureGraph;

class DevicePresence : public QObject {
    Q_OBJECT
public:
    enum class State {
        Streaming,    // the microscope's live picture runs
        NoMicroscope, // none found, or it could not be started
        AccessDenied, // found, but this user may not open its node
    };

    // The quiet time after a notification, and the wait before trying a failed stream again.
    static constexpr int kSettleMs = 1000;
    static constexpr int kRetryAfterFailureMs = 2000;

    DevicePresence(backend::CaptureBackend& backend, CCaptureGraph& engine, QObject* parent = nullptr);
    ~DevicePresence() override;

    // Finds and starts the microscope the first time.
    void Start();
    void OnDeviceChange(backend::DeviceNotification notification);
    void CheckDevice();
    void TearDownEngine();
    // Stops listening and looking (the window closes).
    void Stop();

    State CurrentState() const { return state_; }
    // The node that could not be opened, with AccessDenied.
    QString DeniedNode() const { return deniedNode_; }
    const QTimer& DeviceCheckTimer() const { return deviceCheckTimer_; }

signals:
    void StateChanged(DevicePresence::State state);
    // Devices came or went: whoever lists them reads them again.
    void DeviceListChanged();

private:
    bool BuildAndStart();
    void Settle(bool streaming);
    void OnStreamLost(backend::StreamEvent event);

    backend::CaptureBackend& backend_;
    CCaptureGraph& engine_;
    QTimer deviceCheckTimer_;
    State state_ = State::NoMicroscope;
    QString deniedNode_;
};
