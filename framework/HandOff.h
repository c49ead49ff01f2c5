#pragma once
// The one way work crosses from another thread to the user-interface thread.
//
// The producing thread puts its item into this small locked queue, which the receiver owns,
// and posts a typed event to the receiver; the receiver's handler (on its own thread) takes
// what is queued. At most one event is on its way at a time. The handler must cope with an
// empty queue: Clear() (a stop) may overtake an event already posted.
//
// Lifetime: the receiver stops every producer before the hand-off dies (the hand-off is a
// member of the receiver, so this happens in the receiver's destructor at the latest); Qt
// drops events still posted to a receiver that is destroyed.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

class HandOffEvent : public QEvent {
public:
    explicit HandOffEvent(QEvent::Type type) : QEvent(type) {}
};

template <typename Item>
class HandOff {
public:
    // `capacity` items at most; a full queue drops its oldest item, so the newest always wins
    // (a capacity of 1 keeps just the latest frame).
    HandOff(QObject* receiver, std::size_t capacity)
        : receiver_(receiver), type_(static_cast<QEvent::Type>(QEvent::registerEventType())),
          capacity_(capacity == 0 ? 1 : capacity)
    {
    }
    HandOff(const HandOff&) = delete;
    HandOff& operator=(const HandOff&) = delete;

    QEvent::Type EventType() const { return type_; }
    bool IsFor(const QEvent* event) const { return event->type() == type_; }

    // Any thread.
    void Post(Item item)
    {
        bool postEvent = false;
        {
            std::lock_guard lock(mutex_);
            if (queue_.size() >= capacity_) queue_.pop_front();
            queue_.push_back(std::move(item));
            postEvent = !eventPosted_;
            eventPosted_ = true;
        }
        if (postEvent) QCoreApplication::postEvent(receiver_, new HandOffEvent(type_));
    }

    // The receiver's thread: everything queued, oldest first; empty when a stop came first.
    std::deque<Item> TakeAll()
    {
        std::lock_guard lock(mutex_);
        eventPosted_ = false;
        std::deque<Item> items;
        items.swap(queue_);
        return items;
    }

    // The receiver's thread: the newest item, dropping older ones.
    std::optional<Item> TakeNewest()
    {
        std::deque<Item> items = TakeAll();
        if (items.empty()) return std::nullopt;
        return std::move(items.back());
    }

    // Any thread: forgets what is queued (an event already posted then finds nothing).
    void Clear()
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        eventPosted_ = false;
    }

    std::size_t Pending() const
    {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }

private:
    QObject* receiver_;
    const QEvent::Type type_;
    const std::size_t capacity_;
    mutable std::mutex mutex_; // guards queue_ and eventPosted_
    std::deque<Item> queue_;
    bool eventPosted_ = false; // an event is on its way and will take the queue
};
