#include "app/TerminationSignals.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Signals reach the process, not an object: the handler can only find the pipe here.
std::atomic<int> signalPipe{-1};

void OnSignal(int)
{
    const int saved = errno;
    const int fd = signalPipe.load();
    const char byte = 1;
    if (fd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(fd, &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) return;
    signalPipe = fds_[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals) ::sigaction(number, &action, nullptr);
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(fds_[0], bytes, sizeof bytes) > 0) {}
        emit Requested();
    });
}

TerminationSignals::~TerminationSignals()
{
    notifier_.reset();
    if (fds_[0] < 0) return;
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (const int number : kSignals) ::sigaction(number, &standard, nullptr);
    signalPipe = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void CloseForTermination(QWidget& mainWindow)
{
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == &mainWindow) break;
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog) {
            modal->close();
            break;
        }
        dialog->done(QDialog::Rejected); // its loop ends once control returns to it
    }
    mainWindow.close();
}
