// SPDX-License-Identifier: Apache-2.0
// Runs the whole program in one process (the same AppDelegate as palmcue, offscreen unless a
// display is set), starts detection on a camera file (or, without one, on the camera the
// program would use) and samples what the process costs:
// CPU share, resident memory, open files and threads, frames analysed and launches. At the
// end it sets the whole program's CPU beside the CPU of the hand-pose step over the same
// frames (every thread working on them), the step's wall times and the memory.
//
//   palmcue-bench-app [--camera-file FILE] [--seconds N] [--every N] [--summary]
//                     [--warmup N] [--hogs N] [--window shown|closed] [--restart-every N]
//
// --summary: end with that comparison, over the run less its first --warmup seconds (default
// 5, at most half the run: model buffers and caches settle); --hogs: that many processes spin
// on the CPU meanwhile, for the figures under load; --window closed: the window is closed (it
// hides, detection goes on) as soon as it is shown; --restart-every: Stop and Start every N
// seconds, as a user does. On a display (DISPLAY set), the window is drawn as on screen, with
// the scene graph the program chooses there.
// Used for the CPU figures of BENCHMARKS.md and for the soak runs.
#include "BenchSupport.h"
#include "PalmcueApp/AppDelegate.h"
#include "engine/HandDetector.h"
#include "handpose/MediaPipeHandPose.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QQuickView>
#include <QSGRendererInterface>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
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

// Bytes malloc has handed out and not had back, in MiB: beside resident memory, it tells a leak
// (both grow) from memory that malloc keeps for reuse (only resident memory grows).
double heapInUseMiB() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
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

// `view`: how the window was seen and drawn, as "window=shown drawing=xcb/software".
void printSummary(const QString& camera, const Mark& from, const Mark& to, int hogs,
                  const QString& view) {
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
                "%s load=%s\n",
                qPrintable(camera), hogs, seconds, programCpu, stepCpu,
                stepCpu > 0 ? programCpu / stepCpu : 0.0, pipelineCpu,
                stepCpu > 0 ? (programCpu - pipelineCpu) / stepCpu : 0.0,
                static_cast<unsigned long long>(step.frames),
                static_cast<unsigned long long>(step.framesWithHand), perFrame,
                statusField("VmRSS:") / 1024.0, statusField("VmHWM:") / 1024.0,
                step.percentileMs(0.5), step.percentileMs(0.9), step.percentileMs(0.99),
                qPrintable(view), palmcue::bench::loadAverage().c_str());
}

struct Options {
    QString cameraFile;
    int seconds = 30;
    int every = 10;
    int warmup = -1;
    int hogs = 0;
    int restartEvery = 0;
    bool summary = false;
    bool windowShown = true;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const QByteArray option = argv[i];
        if (option == "--summary") {
            o.summary = true;
            continue;
        }
        if (i + 1 == argc)
            return std::nullopt; // an option without its value
        const QByteArray value = argv[++i];
        if (option == "--camera-file")
            o.cameraFile = QString::fromLocal8Bit(value);
        else if (option == "--seconds")
            o.seconds = value.toInt();
        else if (option == "--every")
            o.every = value.toInt();
        else if (option == "--warmup")
            o.warmup = value.toInt();
        else if (option == "--hogs")
            o.hogs = value.toInt();
        else if (option == "--restart-every")
            o.restartEvery = value.toInt();
        else if (option == "--window" && (value == "shown" || value == "closed"))
            o.windowShown = value == "shown";
        else
            return std::nullopt;
    }
    if (o.warmup < 0)
        o.warmup = std::min(5, o.seconds / 2);
    if (o.seconds < 1 || o.every < 1 || o.warmup >= o.seconds || o.hogs < 0 || o.restartEvery < 0)
        return std::nullopt;
    return o;
}

// How the window is drawn: the platform, and the scene graph's graphics API.
QString drawing(const QQuickView* window) {
    QString api = QStringLiteral("not-yet-drawn");
    if (const QSGRendererInterface* renderer = window->rendererInterface()) {
        switch (renderer->graphicsApi()) {
        case QSGRendererInterface::Software:
            api = QStringLiteral("software");
            break;
        case QSGRendererInterface::OpenGL:
            api = QStringLiteral("opengl");
            break;
        default:
            api = QString::number(int(renderer->graphicsApi()));
            break;
        }
    }
    return QGuiApplication::platformName() + QLatin1Char('/') + api;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> parsed = parseOptions(argc, argv);
    if (!parsed) {
        std::fprintf(stderr, "usage: palmcue-bench-app [--camera-file FILE] [--seconds N] "
                             "[--every N] [--summary] [--warmup N] [--hogs N] "
                             "[--window shown|closed] [--restart-every N]\n");
        return 2;
    }
    const Options& o = *parsed;
    const QString& cameraFile = o.cameraFile;
    const int seconds = o.seconds;
    const int warmup = o.warmup;
    const int hogCount = o.hogs;
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
    if (!o.windowShown)
        delegate.mainWindow()->close(); // hides it, as the user's close does
    QTimer restarter;
    QObject::connect(&restarter, &QTimer::timeout, [detector] {
        detector->stop();
        detector->start();
    });
    // Half an interval out of step with the samples, so that each sample finds the camera
    // running, the same time after its Start.
    if (o.restartEvery > 0)
        QTimer::singleShot(o.restartEvery * 500,
                           [&restarter, &o] { restarter.start(o.restartEvery * 1000); });

    std::printf("%8s %8s %10s %9s %6s %8s %10s %9s  %s\n", "seconds", "cpu%", "rss_MiB", "heap_MiB",
                "fds", "threads", "analysed", "launches", "status | debug line");
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
            "%8.0f %8.1f %10.1f %9.1f %6ld %8ld %10lld %9d  %s\n", ms / 1000.0, share,
            statusField("VmRSS:") / 1024.0, heapInUseMiB(), openFiles(), statusField("Threads:"),
            static_cast<long long>(detector->frameCount() / 3), launches,
            qPrintable(detector->statusText() + QStringLiteral(" | ") + detector->debugInfo()));
        if (ms >= seconds * 1000LL) {
            if (o.summary && start) {
                const Mark end = mark();
                const QString view =
                    QStringLiteral("window=%1 drawing=%2")
                        .arg(o.windowShown ? "shown" : "closed", drawing(delegate.mainWindow()));
                printThreads(threadShares(*start, end));
                printSummary(cameraName(cameraFile, *detector), *start, end, hogCount, view);
            }
            QApplication::quit();
        }
        std::fflush(stdout);
    });
    sampler.start(o.every * 1000);
    const int status = QApplication::exec();
    detector->stop();
    return status;
}
