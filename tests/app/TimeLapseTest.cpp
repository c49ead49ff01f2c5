#include "TestSupport.h"
#include "app/timelapse/TimeLapseDlg.h"
#include "app/timelapse/TimeLapseSeries.h"
#include "capture/CaptureGraph.h"
#include "capture/backend/SimulatedBackend.h"
#include "framework/FieldExchange.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A clock that only moves when the series waits on it (or jumps when told to).
class FakeClock : public SeriesClock {
public:
    // `realPause`: how long each wait takes in real time (frames keep coming meanwhile).
    explicit FakeClock(QDateTime now, int realPauseMs = 0) : now_(std::move(now)), realPauseMs_(realPauseMs) {}
    QDateTime Now() override
    {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void Wait(std::chrono::milliseconds duration, std::mutex& mutex, std::condition_variable&,
              const std::function<bool()>& stopped) override
    {
        {
            std::lock_guard lock(mutex);
            if (stopped()) return;
        }
        if (realPauseMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(realPauseMs_));
        std::lock_guard lock(mutex_);
        now_ = now_.addMSecs(jump_ ? jump_ : duration.count());
        jump_ = 0;
    }
    void JumpNextWaitBy(qint64 milliseconds)
    {
        std::lock_guard lock(mutex_);
        jump_ = milliseconds;
    }

private:
    std::mutex mutex_;
    QDateTime now_;
    qint64 jump_ = 0;
    int realPauseMs_ = 0;
};

struct Log {
    std::mutex mutex;
    std::vector<QDateTime> requests;
    std::atomic<bool> finished{false};
    std::atomic<int> completed{0};
};

TimeLapseSeries::Reports ReportsInto(Log& log, const std::shared_ptr<FakeClock>& clock)
{
    return {[&log, clock] {
                std::lock_guard lock(log.mutex);
                log.requests.push_back(clock->Now());
            },
            {},
            [&log](int n) { log.completed = n; },
            [&log] { log.finished = true; }};
}

const QDateTime kStart(QDate(2026, 3, 4), QTime(10, 0, 0));

} // namespace

TEST(TimeLapse, SizeEstimateShowsTwoDigitsOfHundredths)
{
    EXPECT_EQ(CTimeLapseDlg::SizeEstimate(8, 640 * 480 * 3), "   7.03");
    EXPECT_EQ(CTimeLapseDlg::SizeEstimate(200, 1280 * 1024 * 3), " 750.00");
    EXPECT_EQ(CTimeLapseDlg::SizeEstimate(8, 0), "   0.00");
}

TEST(TimeLapse, TheFirstPictureWaitsForTheStartToTheMillisecond)
{
    // 0.8 s before the start second: no picture until it has come.
    auto clock = std::make_shared<FakeClock>(kStart.addMSecs(-800));
    Log log;
    TimeLapseSeries series(clock, ReportsInto(log, clock));
    series.Start({kStart, std::chrono::milliseconds(3000), 1});
    ASSERT_TRUE(WaitUntil([&] { return log.finished.load(); }, 5000));
    std::lock_guard lock(log.mutex);
    ASSERT_EQ(log.requests.size(), 1u);
    EXPECT_GE(log.requests[0], kStart);
}

TEST(TimeLapse, TwoPicturesThreeSecondsApartThenTheSeriesEnds)
{
    auto clock = std::make_shared<FakeClock>(kStart.addSecs(-5));
    Log log;
    TimeLapseSeries series(clock, ReportsInto(log, clock));
    series.Start({kStart, std::chrono::milliseconds(3000), 2});
    ASSERT_TRUE(WaitUntil([&] { return log.finished.load(); }, 5000));
    series.Stop();
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.requests, (std::vector<QDateTime>{kStart, kStart.addSecs(3)}));
    EXPECT_EQ(clock->Now(), kStart.addSecs(6)); // finished one interval after the last
    EXPECT_EQ(log.completed.load(), 2);
}

TEST(TimeLapse, AClockJumpOverTheStartSecondStartsTheSeriesAtOnce)
{
    auto clock = std::make_shared<FakeClock>(kStart.addSecs(-10));
    clock->JumpNextWaitBy(100000); // a suspend over the start
    Log log;
    TimeLapseSeries series(clock, ReportsInto(log, clock));
    series.Start({kStart, std::chrono::milliseconds(3000), 1});
    ASSERT_TRUE(WaitUntil([&] { return log.finished.load(); }, 5000));
    std::lock_guard lock(log.mutex);
    ASSERT_EQ(log.requests.size(), 1u);
    EXPECT_EQ(log.requests[0], kStart.addSecs(90));
}

TEST(TimeLapse, StopWhileWaitingAndWhileShootingReturnsPromptly)
{
    Log log;
    auto clock = std::make_shared<FakeClock>(kStart); // unused for timing below
    {
        TimeLapseSeries waiting(std::make_shared<SystemSeriesClock>(), ReportsInto(log, clock));
        waiting.Start({QDateTime::currentDateTime().addSecs(60), std::chrono::milliseconds(3000), 2});
        QTest::qWait(50);
        QElapsedTimer timer;
        timer.start();
        waiting.Stop();
        EXPECT_LT(timer.elapsed(), 500);
        EXPECT_TRUE(log.requests.empty());
    }
    {
        TimeLapseSeries shooting(std::make_shared<SystemSeriesClock>(), ReportsInto(log, clock));
        shooting.Start({QDateTime::currentDateTime(), std::chrono::milliseconds(60000), 5});
        ASSERT_TRUE(WaitUntil([&] { return log.completed.load() == 1; }, 3000));
        QElapsedTimer timer;
        timer.start();
        shooting.Stop();
        EXPECT_LT(timer.elapsed(), 500);
        EXPECT_FALSE(shooting.IsRunning());
    }
}

TEST(TimeLapse, TheDialogChecksItsFieldsAndRefusesAPastStart)
{
    QTemporaryDir dir;
    backend::SimulatedBackend simulated;
    CCaptureGraph engine(simulated, dir.path() + "/CapConfig.dat");
    CTimeLapseDlg dialog(engine);
    dialog.show();
    MessageBoxRecorder boxes;
    dialog.Box(1024).setText("2");    // interval seconds below 3: the first failing field
    dialog.Box(1025).setText("0");    // the count too, but it comes later
    dialog.Box(1017).setText("2009"); // a past year, never read back after the failing field
    dialog.OnStartStop();
    ASSERT_GE(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, FieldExchange::RangeMessage(3, 60));
    dialog.OnStartStop(); // stops whatever started with the values read so far
    dialog.OnCancel();

    CTimeLapseDlg second(engine);
    second.show();
    second.Box(1017).setText("2009");
    second.OnStartStop();
    EXPECT_EQ(boxes.Boxes().back().text, "The start time must be in the future.");
    EXPECT_EQ(second.StartButton().text(), "Start");
    EXPECT_FALSE(second.IsSeriesRunning());
    // The estimate is there on opening and follows the count as it is typed.
    const std::int64_t frameBytes =
        static_cast<std::int64_t>(engine.CaptureSize().width()) * engine.CaptureSize().height() * 3;
    EXPECT_EQ(second.SizeBox().text(), CTimeLapseDlg::SizeEstimate(8, frameBytes));
    second.Box(1025).setText("120");
    EXPECT_EQ(second.SizeBox().text(), CTimeLapseDlg::SizeEstimate(120, frameBytes));
}

TEST(TimeLapse, ASeriesFromTheDialogAsksTheEngineForStillsAndClosesItself)
{
    QTemporaryDir dir;
    backend::SimulatedBackend simulated;
    CCaptureGraph engine(simulated, dir.path() + "/CapConfig.dat");
    int stills = 0;
    QObject::connect(&engine, &CCaptureGraph::StillDue, [&](StillSource) {
        ++stills;
        engine.Stills().Serve();
    });
    ASSERT_TRUE(engine.RefreshDeviceList() && engine.BuildGraph() && engine.ConnectPreview());
    engine.SetResolution(640, 480);
    ASSERT_TRUE(engine.StartPreview());
    // Each wait lasts long enough in real time for frames to come between two requests.
    auto clock = std::make_shared<FakeClock>(QDateTime::currentDateTime(), 500);
    CTimeLapseDlg dialog(engine, nullptr, clock);
    dialog.show();
    const QDateTime now = QDateTime::currentDateTime().addSecs(1);
    dialog.Box(1017).setText(QString::number(now.date().year()));
    dialog.Box(1018).setText(QString::number(now.date().month()));
    dialog.Box(1019).setText(QString::number(now.date().day()));
    dialog.Box(1020).setText(QString::number(now.time().hour()));
    dialog.Box(1021).setText(QString::number(now.time().minute()));
    dialog.Box(1022).setText(QString::number(now.time().second()));
    dialog.Box(1025).setText("3");
    dialog.OnStartStop();
    EXPECT_EQ(dialog.StartButton().text(), "Stop");
    EXPECT_TRUE(WaitUntil([&] { return !dialog.isVisible(); }, 10000)); // closed itself
    EXPECT_TRUE(WaitUntil([&] { return stills == 3; }, 5000));
    EXPECT_EQ(dialog.CompletedLabel().text(), "3");
    engine.StopPreview();
}
