#pragma once
// What a recording needs of the window it runs in: the engine, where videos go, the sounds,
// the list that shows a finished video, the latched buttons and the seconds counter.

#include <QString>

#include <cstdint>

class CCaptureGraph;
class QWidget;

class RecordingHost {
public:
    virtual ~RecordingHost() = default;
    virtual QWidget& HostWidget() = 0; // parent of the recording's dialogs and messages
    virtual CCaptureGraph& Engine() const = 0;
    virtual QString VideoFolder() const = 0;
    virtual void PlaySound(int soundId) = 0;
    // A finished recording, to be listed and selected.
    virtual void VideoRecorded(const QString& path) = 0;
    virtual void SetRecordingLatches(bool down) = 0;
    virtual void RefreshTooltips() = 0;
    // The seconds recorded, and the frames lost so far (shown when not 0).
    virtual void ShowRecordCounter(int seconds, std::int64_t framesDropped) = 0;
    // The live frames are corrected (flat field) before they are shown and recorded.
    virtual bool FramesAreCorrected() const = 0;
    virtual void HideRecordCounter() = 0;
    virtual bool IsFullScreen() const = 0;
};
