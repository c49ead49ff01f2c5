#pragma once
// The processing stage between the camera's thread and everything that uses frames: a
// worker of its own runs a chain of steps on each frame (never the camera's thread, never
// the window's), then hands it on. The camera's thread only queues: when the worker falls
// behind, the oldest waiting frame gives way to the newest and is counted as dropped.

#include "framework/Frame.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One step of the chain. Process runs on the stage's worker only; settings that the window
// changes are the step's to guard.
class FrameStep {
public:
    virtual ~FrameStep() = default;
    virtual void Process(Frame& frame) = 0;
};

class FrameStage {
public:
    // Frames waiting for the worker at most.
    static constexpr std::size_t kQueuedFrames = 2;
    // `output` runs on the worker with every processed frame.
    explicit FrameStage(std::function<void(const SharedFrame&)> output);
    ~FrameStage();
    FrameStage(const FrameStage&) = delete;
    FrameStage& operator=(const FrameStage&) = delete;

    // Camera thread: queues the frame and returns at once.
    void Submit(SharedFrame frame);
    // Any thread: the chain for the next frames (the frame in hand finishes with the old one).
    void SetSteps(std::vector<std::shared_ptr<FrameStep>> steps);
    // Waits until every queued frame has been handed on (a stopped stream's last frames).
    void Flush();
    std::uint64_t Dropped() const;

private:
    void Run();

    std::function<void(const SharedFrame&)> output_;
    mutable std::mutex mutex_; // guards queue_, steps_, busy_, quit_ and dropped_
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<SharedFrame> queue_;
    std::vector<std::shared_ptr<FrameStep>> steps_;
    bool busy_ = false;
    bool quit_ = false;
    std::uint64_t dropped_ = 0;
    std::thread worker_; // last: it starts once everything above exists
};
