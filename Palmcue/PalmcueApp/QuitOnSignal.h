// Ends the event loop cleanly on SIGTERM, SIGINT and SIGHUP (log-out, Ctrl+C, a closed
// terminal), so that the camera is released and everything is torn down in order.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace palmcue::shell {

class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    QuitOnSignal();
    ~QuitOnSignal() override;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace palmcue::shell
