// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/QuitOnSignal.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace palmcue::shell {
namespace {

// [0] is read by the event loop, [1] written by the handler: write() is async-signal-safe,
// anything that touches Qt is not. Non-blocking, so that a burst of signals can never block
// the handler.
int signalPipe[2] = {-1, -1};

void onSignal(int signal) {
    const int savedErrno = errno; // the interrupted code may be about to read it
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitOnSignal::QuitOnSignal() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return; // the default actions stay: the program still ends, only less tidily
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1)
            Q_EMIT received(int(byte));
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (::sigaction(kSignals[i], nullptr, &previous_[i]) != 0 ||
            previous_[i].sa_handler == SIG_IGN)
            continue;
        installed_[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

QuitOnSignal::~QuitOnSignal() {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (installed_[i])
            ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    notifier_.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

} // namespace palmcue::shell
