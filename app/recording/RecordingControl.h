#pragma once
// Recording from the main window: the AVI button and Take Video (with the recorder settings
// dialog), F3 (at once, "MSVC", no limit) and F4, the time limit, the seconds counter, and
// every ending (the stop paths, the limit, a lost camera, a write error, the window closing).

#include "app/recording/AviRecording.h"
#include "app/recording/CompressorChoice.h"
#include "app/recording/RecordingHost.h"
#include "framework/MessageBox.h"

#include <QObject>
#include <QTimer>

#include <functional>

class CRecorderSettingsDlg;

class CRecordingControl : public QObject {
    Q_OBJECT
public:
    static constexpr int kNoLimit = 0x7FFFFFFF;

    explicit CRecordingControl(RecordingHost& window);
    ~CRecordingControl() override;

    // The AVI button and Take Video: start with the dialog, or stop.
    void OnAviCommand();
    void OnQuickStart(); // F3
    void OnQuickStop();  // F4
    // Ends a running recording at once (the time limit through the preview command, a lost
    // camera, the window closing): the file is finished and listed.
    void EndRecording();
    // The capture size or the device is about to change: a running recording is finished
    // and the user told so. True when one was running.
    bool FinishBeforeStreamChange();
    // The camera went away: the recording ends as with F4, without the sound.
    void OnStreamLost();

    bool IsRecording() const { return recording_.IsOpen(); }
    int SecondsCounter() const { return seconds_; }
    int TimeLimit() const { return timeLimit_; }
    const CAviRecording& Recording() const { return recording_; }
    const CompressionOptions& Options() const { return options_; }
    bool CompressorChosen() const { return compressorChosen_; }
    const QTimer& LimitTimer() const { return limitTimer_; }
    const QTimer& QuickTimer() const { return quickTimer_; }

    // Runs the recorder settings dialog; tests answer it instead of a person.
    std::function<Answer(CRecorderSettingsDlg&)> runSettingsDialog;

    // The file's nominal rate for a capture width: 22 at 320, 15 at 640, 5 otherwise.
    static int NominalRate(int captureWidth);
    // The rate a file with this compressor is written at: the nominal one, or the camera's
    // own for its Motion JPEG frames.
    FrameRate FileRate(const VideoEncoderChoice& encoder) const;
    // Frames the running recording lost: not whole from the camera, or no time to write
    // them, or dropped by the processing stage since it started.
    std::int64_t FramesDropped();

private:
    bool Open();
    void StopAndClose();
    // Stops the running recording from a command: the sound, the timers, the file, the tips.
    void StopWithSound(int sound);
    void OnLimitTick();
    void OnQuickTick();
    void OnWriteFailed(const QString& reason);
    void ShowFileRate(CRecorderSettingsDlg& dialog) const;

    RecordingHost& window_;
    CAviRecording recording_;
    CompressionOptions options_; // all zero until a compressor was set
    bool compressorChosen_ = false;
    QTimer limitTimer_; // the dialog's recording: a tick a second up to the limit
    QTimer quickTimer_; // the F3 recording: a tick a second
    int timeLimit_ = 0;
    int seconds_ = 0;
    std::uint64_t droppedBefore_ = 0; // the processing stage's count when the file opened
};
