#include "processing/NewestFrameWorker.h"

#include <pthread.h>

NewestFrameWorker::NewestFrameWorker(const char* threadName, std::function<void(const WorkFrame&)> work)
    : work_(std::move(work)), thread_([this, threadName] { Run(threadName); })
{
}

NewestFrameWorker::~NewestFrameWorker()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void NewestFrameWorker::Hand(WorkFrame frame)
{
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(frame); // the newest waiting frame wins
    }
    wake_.notify_one();
}

bool NewestFrameWorker::Idle() const
{
    std::lock_guard lock(mutex_);
    return !busy_ && pending_.picture.isNull();
}

void NewestFrameWorker::WaitUntilIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return quit_ || (!busy_ && pending_.picture.isNull()); });
}

void NewestFrameWorker::Run(const char* threadName)
{
    pthread_setname_np(pthread_self(), threadName);
    for (;;) {
        WorkFrame frame;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !pending_.picture.isNull(); });
            if (quit_) break;
            frame = std::move(pending_);
            pending_ = WorkFrame();
            busy_ = true;
        }
        work_(frame);
        {
            std::lock_guard lock(mutex_);
            busy_ = false;
        }
        idle_.notify_all();
    }
    idle_.notify_all();
}
