#pragma once
// Messages in the application range, posted between threads and windows as Qt events.
// A streaming thread may only post them; they are handled on the user-interface thread.

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <cstdint>

enum AppMessage : std::uint32_t {
    WM_CAPTURE_STILL = 0x8001,        // a still picture is due; wParam 1 when the camera's button asked
    WM_CAPTURE_EVENT = 0x8003,        // capture graph event
    WM_PLAYER_EVENT = 0x8004,         // playback event; lParam-less, code in wParam
    WM_VIDEOSETTING_REFRESH = 0x8005, // device list changed; Video Setting dialog refills
    WM_OPEN_PICTURE = 0x800A,         // open the selected picture in Photo Measure
    WM_OPEN_VIDEO = 0x800B,           // open the selected video in the player
};

class AppMessageEvent : public QEvent {
public:
    AppMessageEvent(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(TypeFor(message)), message_(message), wParam_(wParam), lParam_(lParam)
    {
    }

    static QEvent::Type TypeFor(std::uint32_t message)
    {
        return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message - 0x8000));
    }
    static bool IsAppMessage(const QEvent* event)
    {
        return event->type() > QEvent::User && event->type() <= QEvent::User + 0x7FFF;
    }

    std::uint32_t Message() const { return message_; }
    std::uintptr_t WParam() const { return wParam_; }
    std::intptr_t LParam() const { return lParam_; }

private:
    std::uint32_t message_;
    std::uintptr_t wParam_;
    std::intptr_t lParam_;
};

// Thread-safe: queues the message for the receiver's thread.
inline void PostAppMessage(QObject* receiver, std::uint32_t message, std::uintptr_t wParam = 0,
                           std::intptr_t lParam = 0)
{
    if (receiver) QCoreApplication::postEvent(receiver, new AppMessageEvent(message, wParam, lParam));
}

// Delivered at once on the calling (user-interface) thread.
inline bool SendAppMessage(QObject* receiver, std::uint32_t message, std::uintptr_t wParam = 0,
                           std::intptr_t lParam = 0)
{
    if (!receiver) return false;
    AppMessageEvent event(message, wParam, lParam);
    return QCoreApplication::sendEvent(receiver, &event);
}
