#include "framework/HandOff.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

// Takes what its hand-off holds each time the hand-off's event arrives.
class Receiver : public QObject {
public:
    explicit Receiver(std::size_t capacity) : handOff(this, capacity) {}
    bool event(QEvent* event) override
    {
        if (!handOff.IsFor(event)) return QObject::event(event);
        ++events;
        const std::deque<int> items = handOff.TakeAll();
        if (items.empty()) ++emptyEvents;
        taken.insert(taken.end(), items.begin(), items.end());
        return true;
    }
    HandOff<int> handOff;
    int events = 0;
    int emptyEvents = 0;
    std::vector<int> taken;
};

} // namespace

TEST(HandOff, ManyPostsFromAnotherThreadArriveInOrderWithOneEventOnItsWay)
{
    Receiver receiver(1000);
    QThread* producer = QThread::create([&receiver] {
        for (int i = 0; i < 500; ++i) receiver.handOff.Post(i);
    });
    producer->start();
    producer->wait();
    delete producer;
    QCoreApplication::sendPostedEvents(&receiver);
    ASSERT_EQ(receiver.taken.size(), 500u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(receiver.taken[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(receiver.events, 1); // the receiver was busy meanwhile: one event took them all
}

TEST(HandOff, AFullQueueKeepsTheNewestItems)
{
    Receiver receiver(1);
    for (int i = 1; i <= 3; ++i) receiver.handOff.Post(i);
    QCoreApplication::sendPostedEvents(&receiver);
    EXPECT_EQ(receiver.taken, std::vector<int>{3}); // the newest frame wins
}

TEST(HandOff, AStopThatOvertakesAPostedEventLeavesTheHandlerNothingToDo)
{
    Receiver receiver(4);
    receiver.handOff.Post(7);
    receiver.handOff.Clear(); // the stop comes before the event is handled
    QCoreApplication::sendPostedEvents(&receiver);
    EXPECT_EQ(receiver.events, 1);
    EXPECT_EQ(receiver.emptyEvents, 1);
    EXPECT_TRUE(receiver.taken.empty());
    // After the stop, posting works as before.
    receiver.handOff.Post(8);
    QCoreApplication::sendPostedEvents(&receiver);
    EXPECT_EQ(receiver.taken, std::vector<int>{8});
}
