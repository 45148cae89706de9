// SPDX-License-Identifier: Apache-2.0
// Turns SIGTERM, SIGINT and SIGHUP (log-out, Ctrl+C, a closed terminal) into received() on
// the main thread, so that the program can stop the camera and end in order. A signal that
// was ignored when the program started (`nohup palmcue &` ignores SIGHUP) stays ignored.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

namespace palmcue::shell {

class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    QuitOnSignal();
    ~QuitOnSignal() override; // puts the earlier dispositions back

    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

Q_SIGNALS:
    void received(int signal);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[std::size(kSignals)] = {};
    bool installed_[std::size(kSignals)] = {};
};

} // namespace palmcue::shell
