#include "widgets/WorkWithProgress.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>

bool RunWithProgress(QWidget* parent, const QString& label, const QString& cancelText,
                     const std::function<void(const ProgressReport& report)>& work)
{
    std::atomic<int> done{0}, total{1};
    std::atomic<bool> cancelled{false}, finished{false};
    QProgressDialog dialog(label, cancelText, 0, 1000, parent);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(1000); // shown only for work that takes longer
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&cancelled] { cancelled = true; });

    std::thread worker([&] {
        work([&](int now, int all) {
            done = now;
            total = std::max(1, all);
            return !cancelled.load();
        });
        finished = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished) {
            loop.quit();
            return;
        }
        if (!cancelled) dialog.setValue(static_cast<int>(1000LL * done / total));
    });
    poll.start(40);
    loop.exec();
    worker.join();
    return !cancelled;
}
