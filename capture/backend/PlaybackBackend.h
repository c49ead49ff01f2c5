#pragma once
// The playback back end behind the video player: one opened file at a time, rendered as
// frames handed to the player's video area.

#include "CaptureBackend.h"

#include <QImage>
#include <QString>

#include <functional>

namespace backend {

enum class PlaybackState { Stopped, Paused, Running };
constexpr long kPlaybackEndOfFile = 1;

class PlaybackBackend {
public:
    virtual ~PlaybackBackend() = default;

    virtual Result Open(const QString& path) = 0;
    virtual void Close() = 0;
    virtual Result Run() = 0;
    virtual Result Pause() = 0;
    virtual Result Stop() = 0;
    virtual PlaybackState State() const = 0;
    virtual double Duration() const = 0; // seconds
    virtual double Position() const = 0; // seconds
    virtual Result Seek(double seconds) = 0;

    // The frame to show (on the user-interface thread, after the frame notification).
    virtual QImage CurrentFrame() const = 0;
    // Called on any thread: a new frame is ready, or an event (kPlaybackEndOfFile) happened.
    virtual void SetFrameNotify(std::function<void()> notify) = 0;
    virtual void SetEventNotify(std::function<void(long code)> notify) = 0;
};

} // namespace backend
