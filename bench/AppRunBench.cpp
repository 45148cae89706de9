// SPDX-License-Identifier: Apache-2.0
// Runs the whole program in one process (the same AppDelegate as palmcue, offscreen unless a
// display is set), starts detection on a camera file (or, without one, on the camera the
// program would use) and samples what the process costs:
// CPU share, resident memory, open files and threads, frames analysed and launches. At the
// end it sets the whole program's CPU beside the CPU of the hand-pose step over the same
// frames (every thread working on them), the step's wall times and the memory.
//
//   palmcue-bench-app [--camera-file FILE] [--seconds N] [--every N]
//                     [--summary] [--warmup N] [--hogs N]
//
// --summary: end with that comparison, over the run less its first --warmup seconds (default
// 5, at most half the run: model buffers and caches settle); --hogs: that many processes spin
// on the CPU meanwhile, for the figures under load.
// Used for the CPU figures of BENCHMARKS.md and, in an AddressSanitizer build, for the soak run.
#include "BenchSupport.h"
#include "PalmcueApp/AppDelegate.h"
#include "engine/HandDetector.h"
#include "handpose/MediaPipeHandPose.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace {

using palmcue::bench::processCpuSeconds;
using palmcue::handpose::DetectionCosts;

long statusField(const char* name) { // kB for VmRSS and VmHWM, a count for Threads
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

// CPU time of each live thread of this process so far, in seconds, summed by thread name.
std::map<QByteArray, double> threadCpuSeconds() {
    std::map<QByteArray, double> byName;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        QFile schedstat(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!comm.open(QIODevice::ReadOnly) || !schedstat.open(QIODevice::ReadOnly))
            continue; // the thread has just ended
        const QByteArray name = comm.readAll().trimmed();
        byName[name] += schedstat.readAll().split(' ').first().toDouble() / 1e9;
    }
    return byName;
}

// Where the summary's window starts.
struct Mark {
    qint64 ms = 0;
    double cpu = 0.0;
    DetectionCosts::Totals costs;
    std::map<QByteArray, double> threads;
};

// CPU of each thread between the marks, as shares of one core, most first; threads that ended
// meanwhile are left out.
std::vector<std::pair<double, QByteArray>> threadShares(const Mark& from, const Mark& to) {
    const double seconds = (to.ms - from.ms) / 1000.0;
    std::vector<std::pair<double, QByteArray>> shares;
    for (const auto& [name, cpu] : to.threads) {
        const auto before = from.threads.find(name);
        shares.emplace_back(
            100.0 * (cpu - (before == from.threads.end() ? 0.0 : before->second)) / seconds, name);
    }
    std::sort(shares.rbegin(), shares.rend());
    return shares;
}

void printThreads(const std::vector<std::pair<double, QByteArray>>& shares) {
    std::printf("threads:");
    for (std::size_t i = 0; i < shares.size() && i < 8; ++i)
        std::printf(" %s=%.1f%%", shares[i].second.constData(), shares[i].first);
    std::printf("\n");
}

// GStreamer names its streaming threads "element:pad". With a camera file they read and
// decode the file, work that a camera and its driver do instead.
double pipelineShare(const std::vector<std::pair<double, QByteArray>>& shares) {
    double sum = 0.0;
    for (const auto& [share, name] : shares)
        if (name.contains(':'))
            sum += share;
    return sum;
}

// What the summary calls the camera: the file's name, or the camera's format.
QString cameraName(const QString& file, const palmcue::HandDetector& detector) {
    if (!file.isEmpty())
        return QFileInfo(file).fileName();
    const palmcue::CaptureSession* session = detector.captureSession();
    const QString format =
        session ? QString::fromStdString(session->activeFormat()) : QStringLiteral("none");
    return QStringLiteral("camera:") + QString(format).replace(QLatin1Char(' '), QLatin1Char('_'));
}

void printSummary(const QString& camera, const Mark& from, const Mark& to, int hogs) {
    const double pipelineCpu = pipelineShare(threadShares(from, to));
    const DetectionCosts::Totals step = to.costs.since(from.costs);
    const double seconds = (to.ms - from.ms) / 1000.0;
    const double programCpu = 100.0 * (to.cpu - from.cpu) / seconds;
    const double stepCpu = 100.0 * std::chrono::duration<double>(step.cpu).count() / seconds;
    const double perFrame =
        step.frames ? std::chrono::duration<double, std::milli>(step.cpu).count() / step.frames
                    : 0.0;
    std::printf("summary: file=%s hogs=%d seconds=%.1f program_cpu%%=%.1f inference_cpu%%=%.1f "
                "ratio=%.2f pipeline_cpu%%=%.1f ratio_without_pipeline=%.2f frames=%llu "
                "with_hand=%llu inference_ms_per_frame=%.1f "
                "rss_MiB=%.1f peak_rss_MiB=%.1f p50_ms=%.1f p90_ms=%.1f p99_ms=%.1f "
                "load=%s\n",
                qPrintable(camera), hogs, seconds, programCpu, stepCpu,
                stepCpu > 0 ? programCpu / stepCpu : 0.0, pipelineCpu,
                stepCpu > 0 ? (programCpu - pipelineCpu) / stepCpu : 0.0,
                static_cast<unsigned long long>(step.frames),
                static_cast<unsigned long long>(step.framesWithHand), perFrame,
                statusField("VmRSS:") / 1024.0, statusField("VmHWM:") / 1024.0,
                step.percentileMs(0.5), step.percentileMs(0.9), step.percentileMs(0.99),
                palmcue::bench::loadAverage().c_str());
}

} // namespace

int main(int argc, char** argv) {
    QString cameraFile;
    int seconds = 30;
    int every = 10;
    int warmup = -1;
    int hogCount = 0;
    bool summary = false;
    bool badOption = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray option = argv[i];
        if (option == "--summary") {
            summary = true;
            continue;
        }
        if (i + 1 == argc) {
            badOption = true; // an option without its value
            break;
        }
        if (option == "--camera-file")
            cameraFile = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--seconds")
            seconds = std::atoi(argv[i + 1]);
        else if (option == "--every")
            every = std::atoi(argv[i + 1]);
        else if (option == "--warmup")
            warmup = std::atoi(argv[i + 1]);
        else if (option == "--hogs")
            hogCount = std::atoi(argv[i + 1]);
        ++i;
    }
    if (warmup < 0)
        warmup = std::min(5, seconds / 2);
    if (badOption || seconds < 1 || every < 1 || warmup >= seconds || hogCount < 0) {
        std::fprintf(stderr, "usage: palmcue-bench-app [--camera-file FILE] [--seconds N] "
                             "[--every N] [--summary] [--warmup N] [--hogs N]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Forked before any thread exists.
    palmcue::bench::CpuHogs hogs(hogCount);

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    palmcue::shell::AppDelegate::Options options;
    if (!cameraFile.isEmpty())
        options.cameraFile = cameraFile;
    palmcue::shell::AppDelegate delegate(options);
    if (!delegate.applicationDidFinishLaunching()) {
        std::fprintf(stderr, "palmcue-bench-app: %s\n", qPrintable(delegate.error()));
        return 1;
    }
    palmcue::HandDetector* detector = delegate.detector();
    const DetectionCosts& costs = delegate.handPose()->costs();
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
    double lastCpu = processCpuSeconds();
    qint64 lastMs = 0;
    auto mark = [&] {
        return Mark{clock.elapsed(), processCpuSeconds(), costs.totals(), threadCpuSeconds()};
    };
    std::optional<Mark> start;
    QTimer::singleShot(warmup * 1000, [&] { start = mark(); });
    if (warmup == 0)
        start = mark();
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer); // a coarse timer may fire early and miss the end
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const qint64 ms = clock.elapsed();
        const double cpu = processCpuSeconds();
        const double share = 100.0 * (cpu - lastCpu) / ((ms - lastMs) / 1000.0);
        lastCpu = cpu;
        lastMs = ms;
        std::printf(
            "%8.0f %8.1f %10.1f %6ld %8ld %10lld %9d  %s\n", ms / 1000.0, share,
            statusField("VmRSS:") / 1024.0, openFiles(), statusField("Threads:"),
            static_cast<long long>(detector->frameCount() / 3), launches,
            qPrintable(detector->statusText() + QStringLiteral(" | ") + detector->debugInfo()));
        if (ms >= seconds * 1000LL) {
            if (summary && start) {
                const Mark end = mark();
                printThreads(threadShares(*start, end));
                printSummary(cameraName(cameraFile, *detector), *start, end, hogCount);
            }
            QApplication::quit();
        }
        std::fflush(stdout);
    });
    sampler.start(every * 1000);
    const int status = QApplication::exec();
    detector->stop();
    return status;
}
