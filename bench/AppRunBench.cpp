// Runs the whole program in one process (the same AppDelegate as palmcue, offscreen unless a
// display is set), starts detection on a camera file and samples what the process costs:
// CPU share, resident memory, open files and threads, frames analysed and launches.
//
//   palmcue-bench-app --camera-file FILE [--seconds N] [--every N]
//
// Used for the CPU figure of BENCHMARKS.md and, in an AddressSanitizer build, for the soak run.
#include "PalmcueApp/AppDelegate.h"
#include "engine/HandDetector.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long statusField(const char* name) { // kB for VmRSS, a count for Threads
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

long openFiles() {
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::NoDotAndDotDot | QDir::System)
        .size();
}

} // namespace

int main(int argc, char** argv) {
    QString cameraFile;
    int seconds = 30;
    int every = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        if (option == "--camera-file")
            cameraFile = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--seconds")
            seconds = std::atoi(argv[i + 1]);
        else if (option == "--every")
            every = std::atoi(argv[i + 1]);
    }
    if (cameraFile.isEmpty() || seconds < 1 || every < 1) {
        std::fprintf(stderr,
                     "usage: palmcue-bench-app --camera-file FILE [--seconds N] [--every N]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    palmcue::shell::AppDelegate delegate({cameraFile});
    if (!delegate.applicationDidFinishLaunching()) {
        std::fprintf(stderr, "palmcue-bench-app: %s\n", qPrintable(delegate.error()));
        return 1;
    }
    palmcue::HandDetector* detector = delegate.detector();
    int launches = 0;
    QObject::connect(detector, &palmcue::HandDetector::statusTextChanged, [&] {
        if (detector->statusText().startsWith(QStringLiteral("Launched")))
            ++launches;
    });
    detector->start();

    std::printf("%8s %8s %10s %6s %8s %10s %9s  %s\n", "seconds", "cpu%", "rss_MiB", "fds",
                "threads", "analysed", "launches", "status | debug line");
    QElapsedTimer clock;
    clock.start();
    double lastCpu = cpuSeconds();
    qint64 lastMs = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const qint64 ms = clock.elapsed();
        const double cpu = cpuSeconds();
        const double share = 100.0 * (cpu - lastCpu) / ((ms - lastMs) / 1000.0);
        lastCpu = cpu;
        lastMs = ms;
        std::printf(
            "%8.0f %8.1f %10.1f %6ld %8ld %10lld %9d  %s\n", ms / 1000.0, share,
            statusField("VmRSS:") / 1024.0, openFiles(), statusField("Threads:"),
            static_cast<long long>(detector->frameCount() / 3), launches,
            qPrintable(detector->statusText() + QStringLiteral(" | ") + detector->debugInfo()));
        std::fflush(stdout);
        if (ms >= seconds * 1000LL)
            QApplication::quit();
    });
    sampler.start(every * 1000);
    const int status = QApplication::exec();
    detector->stop();
    return status;
}
