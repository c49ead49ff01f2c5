#pragma once
// SIGTERM (log-out, shutdown), SIGINT and SIGHUP end the program the way closing its window
// does, so the running copy's socket is removed and what is open is finished properly. The
// signal handler only writes a byte to a socket pair; the notifier turns it into a signal
// on the user-interface thread.

#include <QObject>

#include <memory>

class QSocketNotifier;
class QWidget;

// Ends the program as closing its window does, also while a dialog or a message box is open
// over it (those are closed first, top-most first, as Cancel would).
void CloseForTermination(QWidget& mainWindow);

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    bool IsWatching() const { return notifier_ != nullptr; }

signals:
    void Requested();

private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};
