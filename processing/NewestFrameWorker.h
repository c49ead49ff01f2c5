#pragma once
// A thread of its own that works on the newest frame handed to it: a frame that arrives
// while it is busy replaces the one waiting, so the stream never waits for slow work (a
// live stack, a live mosaic).

#include <QImage>

#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

// A frame to work on, with where a motorised focus stood for it (NaN: not known).
struct WorkFrame {
    QImage picture;
    double focusPosition = std::numeric_limits<double>::quiet_NaN();
};

class NewestFrameWorker {
public:
    // Starts the thread, named `threadName` (at most 15 characters).
    NewestFrameWorker(const char* threadName, std::function<void(const WorkFrame&)> work);
    // Ends the thread; a frame still waiting is dropped.
    ~NewestFrameWorker();
    NewestFrameWorker(const NewestFrameWorker&) = delete;
    NewestFrameWorker& operator=(const NewestFrameWorker&) = delete;

    void Hand(WorkFrame frame);
    // No frame waits and none is being worked on.
    bool Idle() const;
    // Returns once the frame in hand (if any) is done.
    void WaitUntilIdle();

private:
    void Run(const char* threadName);

    std::function<void(const WorkFrame&)> work_;
    mutable std::mutex mutex_; // guards pending_, busy_ and quit_
    std::condition_variable wake_;
    std::condition_variable idle_;
    WorkFrame pending_;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};
