#pragma once
// The video player's engine: an AVI file decoded by FFmpeg on a worker thread into a small
// bounded queue of pictures at the size they are shown, and presented on the
// user-interface thread by their time stamps. Seeking goes to the key frame before the
// position and decodes forward to it; while paused the frame at the new position is shown.
// Reaching the end while running emits Completed.

#include "framework/HandOff.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class PlaybackEngine : public QObject {
    Q_OBJECT
public:
    enum class State { Stopped, Paused, Running };
    static constexpr std::size_t kQueuedFrames = 4;

    explicit PlaybackEngine(QObject* parent = nullptr);
    ~PlaybackEngine() override;

    // Opens an AVI file; false (and nothing open) when it is not one FFmpeg can decode.
    bool Open(const QString& path, QSize frameSize);
    void Close();
    bool IsOpen() const { return input_ != nullptr; }

    void Run();
    void Pause();
    State GetState() const { return state_; }
    double Duration() const { return duration_; }
    double Position() const { return position_; }
    void SetPosition(double seconds);

    // The picture presented last: the largest size within the one given to Open that keeps
    // the video's shape.
    QImage CurrentFrame() const { return current_; }

signals:
    void FrameShown();
    // The end of the video was reached while it ran.
    void Completed();

protected:
    bool event(QEvent* event) override;

private:
    struct Decoder;
    struct Frame {
        double time = 0;
        QImage image;
        int generation = 0;
    };

    void DecodeLoop();
    void Present();
    void StopWorker();

    // The worker's side, guarded by mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Frame> queue_;
    std::optional<double> seekTo_;
    int generation_ = 0; // frames decoded before the last seek are not shown
    bool endOfStream_ = false;
    bool quit_ = false;

    struct InputHolder;
    std::unique_ptr<InputHolder> input_;
    std::thread worker_;
    QSize frameSize_;

    // The user-interface thread's side.
    State state_ = State::Stopped;
    double duration_ = 0;
    double position_ = 0;
    double clockBase_ = 0;       // position when running began
    QElapsedTimer clock_;        // real time since running began
    bool showNextFrame_ = false; // paused after a seek: the next frame to come is shown
    QImage current_;
    QTimer presentTimer_;
    struct FramesReady {};
    HandOff<FramesReady> framesReady_{this, 1};
};
