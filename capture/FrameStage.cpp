#include "capture/FrameStage.h"

#include <pthread.h>

FrameStage::FrameStage(std::function<void(const SharedFrame&)> output)
    : output_(std::move(output)), worker_([this] { Run(); })
{
}

FrameStage::~FrameStage()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void FrameStage::Submit(SharedFrame frame)
{
    if (!frame) return;
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= kQueuedFrames) {
            queue_.pop_front(); // the newest wins: what is shown stays close to now
            ++dropped_;
        }
        queue_.push_back(std::move(frame));
    }
    wake_.notify_one();
}

void FrameStage::SetSteps(std::vector<std::shared_ptr<FrameStep>> steps)
{
    std::lock_guard lock(mutex_);
    steps_ = std::move(steps);
}

void FrameStage::Flush()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return quit_ || (queue_.empty() && !busy_); });
}

std::uint64_t FrameStage::Dropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

void FrameStage::Run()
{
    pthread_setname_np(pthread_self(), "qrv-processing"); // as top and the debugger show it
    for (;;) {
        SharedFrame frame;
        std::vector<std::shared_ptr<FrameStep>> steps;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) {
                queue_.clear();
                idle_.notify_all();
                return;
            }
            frame = std::move(queue_.front());
            queue_.pop_front();
            steps = steps_; // the chain is copied, so the window may change it meanwhile
            busy_ = true;
        }
        for (const auto& step : steps) step->Process(*frame);
        if (output_) output_(frame);
        frame.reset(); // back to the pool before the stage counts as idle
        {
            std::lock_guard lock(mutex_);
            busy_ = false;
        }
        idle_.notify_all();
    }
}
