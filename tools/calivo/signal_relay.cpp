#include "tools/calivo/signal_relay.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace zorvan::calivo {

namespace {

int gRelayFds[2] = {-1, -1};

void onSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(gRelayFds[1], &byte, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGHUP, SIGTERM, SIGINT};

}  // namespace

SignalRelay::SignalRelay(std::function<void()> onHangup, std::function<void()> onStop,
                         QObject* parent)
    : QObject(parent), onHangup_(std::move(onHangup)), onStop_(std::move(onStop)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gRelayFds) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(gRelayFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char numbers[16];
        ssize_t n;
        while ((n = ::read(gRelayFds[0], numbers, sizeof numbers)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (numbers[i] == SIGHUP) {
                    onHangup_();
                } else {
                    onStop_();
                }
            }
        }
    });
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = onSignal;
    installed_ = true;
    for (const int number : kSignals) {
        installed_ = ::sigaction(number, &action, nullptr) == 0 && installed_;
    }
}

SignalRelay::~SignalRelay() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int number : kSignals) {
        ::sigaction(number, &action, nullptr);
    }
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : gRelayFds) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

}  // namespace zorvan::calivo
