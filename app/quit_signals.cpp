#include "app/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace zorvan::app {

namespace {
// Written by the handler, read on the GUI thread: the one thing a handler may
// safely do to wake the event loop.
int gWakeFds[2] = {-1, -1};

void onQuitSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gWakeFds[1], &byte, 1);
    errno = saved;
}
}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gWakeFds) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(gWakeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [] {
        char buffer[16];
        while (::read(gWakeFds[0], buffer, sizeof buffer) > 0) {
        }
        // exit(), not quit(): quit() first asks the windows to close, and
        // the driver's window refuses.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = onQuitSignal;
    installed_ = ::sigaction(SIGTERM, &action, nullptr) == 0 &&
                 ::sigaction(SIGINT, &action, nullptr) == 0 &&
                 ::sigaction(SIGHUP, &action, nullptr) == 0;
}

QuitSignals::~QuitSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : gWakeFds) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

}  // namespace zorvan::app
