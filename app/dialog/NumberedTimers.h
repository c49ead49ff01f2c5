#pragma once
// Timers addressed by number, as the windows of this program know them (1001 device check,
// 1002/1005 recording, ...). Setting a running timer again restarts it with the new period.

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class NumberedTimers {
public:
    using Handler = std::function<void(int id)>;

    explicit NumberedTimers(QObject* owner, Handler handler) : owner_(owner), handler_(std::move(handler)) {}

    void SetTimer(int id, int milliseconds)
    {
        auto& timer = timers_[id];
        if (!timer) {
            timer = std::make_unique<QTimer>(owner_);
            QObject::connect(timer.get(), &QTimer::timeout, owner_, [this, id] { handler_(id); });
        }
        timer->start(milliseconds);
    }

    void KillTimer(int id)
    {
        if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
    }

    bool IsActive(int id) const
    {
        auto it = timers_.find(id);
        return it != timers_.end() && it->second->isActive();
    }

    int Interval(int id) const
    {
        auto it = timers_.find(id);
        return it != timers_.end() ? it->second->interval() : 0;
    }

private:
    QObject* owner_;
    Handler handler_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};
