#pragma once
// A time-lapse series: a worker thread waits for the start time and then asks for one still
// picture per interval, through the same request as F2. It tells its owner what it does
// through the owner's hand-offs (never by waiting for the user-interface thread), and a stop
// ends it within a moment.

#include <QDateTime>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The clock the series runs by; tests put a clock of their own behind it.
class SeriesClock {
public:
    virtual ~SeriesClock() = default;
    virtual QDateTime Now() = 0;
    // Waits `duration`, or less when `stopped` turns true (it is checked under `mutex`
    // whenever `wake` is notified).
    virtual void Wait(std::chrono::milliseconds duration, std::mutex& mutex, std::condition_variable& wake,
                      const std::function<bool()>& stopped) = 0;
};

class SystemSeriesClock : public SeriesClock {
public:
    QDateTime Now() override { return QDateTime::currentDateTime(); }
    void Wait(std::chrono::milliseconds duration, std::mutex& mutex, std::condition_variable& wake,
              const std::function<bool()>& stopped) override;
};

class TimeLapseSeries {
public:
    struct Plan {
        QDateTime start;
        std::chrono::milliseconds interval{3000};
        int pictures = 8;
    };
    // All run on the worker thread and must only post.
    struct Reports {
        std::function<void()> requestStill;
        std::function<void(std::int64_t secondsLeft)> waiting; // before the start, about once a second
        std::function<void(int requested)> completed;
        std::function<void()> finished; // one interval after the last request
    };

    TimeLapseSeries(std::shared_ptr<SeriesClock> clock, Reports reports);
    ~TimeLapseSeries(); // stops and joins

    bool Start(const Plan& plan);
    // Stops the worker and waits for it to end (promptly: it never waits on anything else).
    void Stop();
    bool IsRunning() const { return worker_.joinable() && !done_; }

private:
    void Run(Plan plan);

    std::shared_ptr<SeriesClock> clock_;
    Reports reports_;
    std::mutex mutex_; // guards stopRequested_ for the waits
    std::condition_variable wake_;
    bool stopRequested_ = false;
    std::atomic<bool> done_{true};
    std::thread worker_;
};
