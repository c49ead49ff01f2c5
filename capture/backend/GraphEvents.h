#pragma once
// The graph events of one source: queued on the streaming thread, fetched one at a time on
// the user-interface thread after the wake-up call.

#include <deque>
#include <functional>
#include <mutex>

namespace backend {

class GraphEventQueue {
public:
    void SetWake(std::function<void()> wake)
    {
        std::lock_guard lock(mutex_);
        wake_ = std::move(wake);
    }

    void Queue(long code)
    {
        std::function<void()> wake;
        {
            std::lock_guard lock(mutex_);
            events_.push_back(code);
            wake = wake_;
        }
        if (wake) wake();
    }

    bool Take(long& code, long& param1, long& param2)
    {
        std::lock_guard lock(mutex_);
        if (events_.empty()) return false;
        code = events_.front();
        events_.pop_front();
        param1 = param2 = 0;
        return true;
    }

private:
    std::mutex mutex_;
    std::deque<long> events_;
    std::function<void()> wake_;
};

} // namespace backend
