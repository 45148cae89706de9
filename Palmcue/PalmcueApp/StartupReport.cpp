// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/StartupReport.h"

#include <QFile>
#include <QQuickWindow>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>

namespace palmcue::shell {

std::optional<double> StartupReport::millisecondsSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    // The command name in field 2 may hold spaces and parentheses: count from the last ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    constexpr int kStartTimeField = 22 - 3; // field 22, counted from field 3
    if (fields.size() <= kStartTimeField)
        return std::nullopt;
    bool ok = false;
    const double startTicks = fields.at(kStartTimeField).toDouble(&ok);
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec now{};
    if (!ok || ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return std::nullopt;
    const double nowMs = double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
    return nowMs - startTicks * 1000.0 / double(ticksPerSecond);
}

namespace {

bool reporting() {
    return qEnvironmentVariable("PALMCUE_REPORT_STARTUP") == QLatin1String("1");
}

} // namespace

void StartupReport::modelsLoaded(double milliseconds, const std::string& modelDir,
                                 const Result<void>& loaded) {
    if (!reporting())
        return;
    if (loaded)
        std::fprintf(stdout, "palmcue: hand models loaded in %.0f ms from %s\n", milliseconds,
                     modelDir.c_str());
    else
        std::fprintf(stdout, "palmcue: hand models not loaded: %s\n", loaded.error().c_str());
    std::fflush(stdout);
}

void StartupReport::sceneGraphChosen(const QString& description) {
    if (!reporting())
        return;
    std::fprintf(stdout, "palmcue: scene graph %s\n", qPrintable(description));
    std::fflush(stdout);
}

void StartupReport::watch(QQuickWindow* window) {
    if (!reporting())
        return;
    // frameSwapped comes from the render thread under the threaded render loop.
    auto reported = std::make_shared<std::atomic<bool>>(false);
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [reported] {
            if (reported->exchange(true))
                return;
            if (const auto ms = millisecondsSinceProcessStart())
                std::fprintf(stdout, "palmcue: first frame %.0f ms after process start\n", *ms);
            else
                std::fprintf(stdout, "palmcue: first frame shown (process start unknown)\n");
            std::fflush(stdout);
        },
        Qt::DirectConnection);
}

} // namespace palmcue::shell
