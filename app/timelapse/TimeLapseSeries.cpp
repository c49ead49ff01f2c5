#include "app/timelapse/TimeLapseSeries.h"

void SystemSeriesClock::Wait(std::chrono::milliseconds duration, std::mutex& mutex, std::condition_variable& wake,
                             const std::function<bool()>& stopped)
{
    std::unique_lock lock(mutex);
    wake.wait_for(lock, duration, stopped);
}

TimeLapseSeries::TimeLapseSeries(std::shared_ptr<SeriesClock> clock, Reports reports)
    : clock_(std::move(clock)), reports_(std::move(reports))
{
}

TimeLapseSeries::~TimeLapseSeries()
{
    Stop();
}

bool TimeLapseSeries::Start(const Plan& plan)
{
    Stop();
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
    }
    done_ = false;
    worker_ = std::thread([this, plan] { Run(plan); });
    return true;
}

void TimeLapseSeries::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    done_ = true;
}

void TimeLapseSeries::Run(Plan plan)
{
    const auto stopped = [this] { return stopRequested_; };
    auto isStopped = [this] {
        std::lock_guard lock(mutex_);
        return stopRequested_;
    };
    // Waiting for the start: the series begins once the clock has reached the start second,
    // also when the clock jumped past it (a suspend, a time correction).
    for (;;) {
        if (isStopped()) {
            done_ = true;
            return;
        }
        // To the millisecond: a whole-second count would start up to a second early.
        const std::int64_t left = clock_->Now().msecsTo(plan.start);
        if (left <= 0) break;
        if (reports_.waiting) reports_.waiting((left + 999) / 1000); // seconds, rounded up
        clock_->Wait(std::chrono::milliseconds(std::min<std::int64_t>(left, 1000)), mutex_, wake_, stopped);
    }
    for (int i = 1; i <= plan.pictures; ++i) {
        if (isStopped()) break;
        if (reports_.requestStill) reports_.requestStill();
        if (reports_.completed) reports_.completed(i);
        clock_->Wait(plan.interval, mutex_, wake_, stopped);
    }
    if (!isStopped() && reports_.finished) reports_.finished();
    done_ = true;
}
