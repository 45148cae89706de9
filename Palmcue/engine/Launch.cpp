// SPDX-License-Identifier: Apache-2.0
// Opening the application mapped to a finger, with a cooldown per finger.
#include "engine/HandDetector.h"

namespace palmcue {

void HandDetector::launchApp(int finger) {
    if (finger < 0 || finger >= kFingerCount)
        return;
    const TimePoint now = services_.clock->now();
    if (const auto& last = lastLaunch_[finger];
        last && std::chrono::duration<double>(now - *last).count() < cooldown_)
        return;

    const QString appName = mappings_[finger];
    if (appName.isEmpty())
        return;

    const QString fingerName = fingerNames().at(finger);
    const std::uint64_t logId = nextLogId_++;
    const auto describe = [appName, fingerName](const char* verb) {
        return QStringLiteral("%1 %2 (%3)").arg(QLatin1String(verb), appName, fingerName);
    };
    QPointer<HandDetector> self(this);
    const auto failedLater = [self, logId, describe](const std::string& reason) {
        if (!self)
            return;
        // The program did not start after all: the log lists only launches that happened.
        self->removeLaunchLogEntry(logId);
        self->setStatusText(describe("Could not open") + QStringLiteral(": ") +
                            QString::fromStdString(reason));
    };

    const Result<void, ApplicationLauncher::Fault> opened =
        services_.launcher->open(appName.toStdString(), failedLater);
    // The cooldown starts whether or not anything opened, so a missing app is not retried
    // on every completed hold.
    lastLaunch_[finger] = now;

    if (!opened) {
        switch (opened.fault()) {
        case ApplicationLauncher::Fault::NotFound:
            setStatusText(describe("Could not find"));
            break;
        case ApplicationLauncher::Fault::Failed:
            setStatusText(describe("Could not open") + QStringLiteral(": ") +
                          QString::fromStdString(opened.error()));
            break;
        }
        return;
    }
    setStatusText(describe("Launched"));
    appendLaunchLogEntry(
        {QString::fromStdString(services_.clock->logTimeText()), fingerName, appName, logId});
}

} // namespace palmcue
