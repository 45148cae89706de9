// SPDX-License-Identifier: Apache-2.0
// The built program as a user starts it: its command line, one instance per user wherever
// the runtime folder is, quitting, and the signals of a session.
#include "PalmcueApp/SingleInstance.h"
#include "ShellTestSupport.h"
#include "handpose/MediaPipeHandPose.h"
#include "support/SharedData.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/fanotify.h>
#include <unistd.h>
#include <vector>

using palmcue::shell::InstanceFolder;
using palmcue::shell::SingleInstance;
using namespace palmcue::test;

namespace {

// Bounds for a loaded machine; reaching one means the program hangs.
constexpr int kExitWaitMs = 30000;

// What the program itself printed: Qt's own notice about a missing XDG_RUNTIME_DIR left out.
QByteArray ownMessages(const QByteArray& errors) {
    QByteArray kept;
    for (const QByteArray& line : errors.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"))
            kept += line + '\n';
    }
    return kept;
}

class BinaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.isValid());
        ASSERT_TRUE(apps_.isValid()); // sets XDG_DATA_*, inherited by the program
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    }

    void start(QProcess& process, const QStringList& arguments = {}) {
        process.setProgram(QStringLiteral(PALMCUE_BINARY));
        process.setArguments(arguments);
        process.setProcessEnvironment(environment_);
        process.start();
        ASSERT_TRUE(process.waitForStarted()) << process.errorString().toStdString();
    }

    void runToEnd(QProcess& process, const QStringList& arguments = {}) {
        ASSERT_NO_FATAL_FAILURE(start(process, arguments));
        ASSERT_TRUE(process.waitForFinished(kExitWaitMs));
        ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    }

    // Starts the program with the startup report on and waits for its window's first frame;
    // returns the report so far.
    QByteArray startShown(QProcess& process) {
        environment_.insert(QStringLiteral("PALMCUE_REPORT_STARTUP"), QStringLiteral("1"));
        start(process);
        environment_.remove(QStringLiteral("PALMCUE_REPORT_STARTUP"));
        QByteArray report;
        const bool shown = waitUntil(
            [&] {
                process.waitForReadyRead(10);
                report += process.readAllStandardOutput();
                return report.contains("first frame") || process.state() != QProcess::Running;
            },
            kExitWaitMs);
        EXPECT_TRUE(shown && report.contains("first frame"))
            << report.toStdString() << process.readAllStandardError().toStdString();
        return report;
    }

    // A second start hands "show" over and ends at once, leaving `first` running.
    void expectSecondStartDefersTo(QProcess& first) {
        QProcess second;
        ASSERT_NO_FATAL_FAILURE(runToEnd(second));
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
        EXPECT_EQ(ownMessages(second.readAllStandardError()), QByteArray());
        EXPECT_EQ(first.state(), QProcess::Running);
    }

    // `palmcue --quit` ends `first`: both exit normally with status 0.
    void expectQuitEnds(QProcess& first) {
        QProcess quit;
        ASSERT_NO_FATAL_FAILURE(runToEnd(quit, {QStringLiteral("--quit")}));
        EXPECT_EQ(quit.exitCode(), 0) << quit.readAllStandardError().toStdString();
        EXPECT_EQ(ownMessages(quit.readAllStandardError()), QByteArray());
        // --quit waits for the end, so the instance is gone or going.
        ASSERT_TRUE(first.waitForFinished(kExitWaitMs));
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first.exitCode(), 0);
    }

    QString socketPath() const { return InstanceFolder{runtime_.path(), {}}.socketPath(); }

    QTemporaryDir runtime_;
    MessagesApplication apps_;
    QProcessEnvironment environment_;
};

// Signals of the process `pid` in one of the sets of /proc/PID/status ("SigIgn", "SigCgt").
quint64 signalSet(qint64 pid, const QByteArray& name) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().toULongLong(nullptr, 16);
    }
    return 0;
}

constexpr quint64 bit(int signal) {
    return quint64(1) << (signal - 1);
}

// Holds back every open() of one file, as a stalled disk would, until destroyed. Needs the
// right to watch the file system (CAP_SYS_ADMIN).
class OpenGate {
public:
    explicit OpenGate(const QString& path) {
        fd_ = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY);
        if (fd_ >= 0 && ::fanotify_mark(fd_, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD,
                                        QFile::encodeName(path).constData()) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~OpenGate() {
        for (int file : held_) {
            const fanotify_response allow{file, FAN_ALLOW};
            [[maybe_unused]] const ssize_t n = ::write(fd_, &allow, sizeof(allow));
            ::close(file);
        }
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isValid() const { return fd_ >= 0; }

    // Whether somebody is held at the gate; waits for one up to `timeoutMs`.
    bool waitForOpener(int timeoutMs) {
        return waitUntil(
            [this] {
                fanotify_event_metadata event{};
                while (::read(fd_, &event, sizeof(event)) == ssize_t(sizeof(event))) {
                    if (event.fd >= 0)
                        held_.push_back(event.fd);
                }
                return !held_.empty();
            },
            timeoutMs);
    }

private:
    int fd_ = -1;
    std::vector<int> held_;
};

} // namespace

TEST_F(BinaryTest, RefusesAnyOtherArgumentWithTheUsageLine) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("--camera-file")},
          QStringList{QStringLiteral("--camera-file"),
                      runtime_.filePath(QStringLiteral("none.jpg"))}}) {
        QProcess process;
        ASSERT_NO_FATAL_FAILURE(runToEnd(process, arguments));
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(process.readAllStandardError().contains(
            "usage: palmcue [--camera-file PATH | --camera ID]"));
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    }
}

TEST_F(BinaryTest, HelpVersionAndQuitWithNothingRunning) {
    QProcess help;
    ASSERT_NO_FATAL_FAILURE(runToEnd(help, {QStringLiteral("--help")}));
    EXPECT_EQ(help.exitCode(), 0);
    const QByteArray usage = help.readAllStandardOutput();
    EXPECT_TRUE(usage.startsWith("usage: palmcue [--camera-file PATH | --camera ID]"))
        << usage.toStdString();
    EXPECT_TRUE(usage.contains("--quit")) << usage.toStdString();
    EXPECT_TRUE(help.readAllStandardError().isEmpty());

    QProcess version;
    ASSERT_NO_FATAL_FAILURE(runToEnd(version, {QStringLiteral("--version")}));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput(), QByteArray("palmcue " PALMCUE_VERSION "\n"));

    QProcess quit;
    ASSERT_NO_FATAL_FAILURE(runToEnd(quit, {QStringLiteral("--quit")}));
    EXPECT_EQ(quit.exitCode(), 1);
    EXPECT_EQ(quit.readAllStandardError(), QByteArray("palmcue: Palm&Cue is not running\n"));
}

// The cameras are those of the stand-in webcam's plugin: an infrared one, then a colour one.
TEST_F(BinaryTest, ListsTheCamerasAndRefusesACameraItDoesNotHave) {
    environment_.insert(QStringLiteral("GST_PLUGIN_PATH"),
                        QStringLiteral(PALMCUE_STANDIN_PLUGIN_DIR));
    environment_.insert(QStringLiteral("GST_REGISTRY"),
                        runtime_.filePath(QStringLiteral("registry")));
    environment_.insert(QStringLiteral("PALMCUE_STANDIN_CAMERAS"), QStringLiteral("2"));
    environment_.insert(QStringLiteral("PALMCUE_STANDIN_INFRARED"), QStringLiteral("1"));
    QProcess list;
    ASSERT_NO_FATAL_FAILURE(runToEnd(list, {QStringLiteral("--list-cameras")}));
    EXPECT_EQ(list.exitCode(), 0);
    const QByteArray listed = list.readAllStandardOutput();
    EXPECT_TRUE(listed.startsWith("0: Stand-in IR Camera  [infrared: greyscale only]\n"
                                  "    640x360 Y8 30 fps  [chosen]\n"
                                  "1: Stand-in Camera 2  [default]\n"
                                  "    640x480 YUYV 30 fps  [chosen]\n"))
        << listed.toStdString();

    environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess unknown;
    ASSERT_NO_FATAL_FAILURE(runToEnd(unknown, {QStringLiteral("--camera=Studio")}));
    EXPECT_EQ(unknown.exitCode(), 2);
    const QByteArray refused = unknown.readAllStandardError();
    EXPECT_TRUE(refused.contains("palmcue: no camera 'Studio'; the cameras are:\n"
                                 "  0: Stand-in IR Camera\n  1: Stand-in Camera 2\n"))
        << refused.toStdString();

    environment_.insert(QStringLiteral("PALMCUE_STANDIN_CAMERAS"), QStringLiteral("0"));
    QProcess none;
    ASSERT_NO_FATAL_FAILURE(runToEnd(none, {QStringLiteral("--list-cameras")}));
    EXPECT_EQ(none.exitCode(), 1);
    EXPECT_TRUE(none.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(none.readAllStandardError().contains("palmcue: no camera found\n"));
}

TEST_F(BinaryTest, ASecondStartAsksTheRunningInstanceToShowAndEnds) {
    // This test process plays the running instance.
    SingleInstance running(InstanceFolder{runtime_.path(), {}});
    ASSERT_EQ(running.claim(), SingleInstance::Role::Primary) << running.error().toStdString();
    int shows = 0;
    QObject::connect(&running, &SingleInstance::showRequested, [&shows] { ++shows; });

    QProcess second;
    ASSERT_NO_FATAL_FAILURE(runToEnd(second));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return shows == 1; }));
}

TEST_F(BinaryTest, ShowsItsWindowAndStaysTheOnlyInstance) {
    QProcess first;
    const QByteArray report = startShown(first);
    ASSERT_TRUE(report.contains("first frame"));
    std::cout << "[ startup ] " << report.trimmed().toStdString() << std::endl;
    ASSERT_NO_FATAL_FAILURE(expectSecondStartDefersTo(first));

    // SIGTERM (as at log-out) ends the event loop: a normal exit, not death by the signal.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(kExitWaitMs));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}

// Whatever XDG_RUNTIME_DIR holds, the socket has a short path of this user's: one instance,
// and --quit reaches it.
TEST_F(BinaryTest, WorksWithoutARuntimeFolderAndWithAVeryLongOne) {
    QString longRuntime = runtime_.path() + QLatin1Char('/');
    while (longRuntime.size() < 150)
        longRuntime += QLatin1Char('r');
    ASSERT_TRUE(QDir().mkpath(longRuntime));
    QFile::setPermissions(longRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(QFile::encodeName(longRuntime).size(), 150);

    for (const QString& runtime : {QString(), longRuntime}) {
        SCOPED_TRACE(runtime.isEmpty() ? "XDG_RUNTIME_DIR unset" : "XDG_RUNTIME_DIR 150 bytes");
        if (runtime.isEmpty())
            environment_.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        else
            environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        QProcess first;
        const QByteArray report = startShown(first);
        ASSERT_TRUE(report.contains("first frame"));
        EXPECT_EQ(ownMessages(first.readAllStandardError()), QByteArray());
        ASSERT_NO_FATAL_FAILURE(expectSecondStartDefersTo(first));
        ASSERT_NO_FATAL_FAILURE(expectQuitEnds(first));
    }
}

// `nohup palmcue &` ignores SIGHUP, and so must the program; the signals it was left to
// handle still end it in order.
TEST_F(BinaryTest, ASignalIgnoredAtStartStaysIgnored) {
    QProcess first;
    first.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
    ASSERT_TRUE(startShown(first).contains("first frame"));
    EXPECT_TRUE(signalSet(first.processId(), "SigIgn") & bit(SIGHUP));
    EXPECT_TRUE(signalSet(first.processId(), "SigCgt") & bit(SIGTERM));

    ::kill(pid_t(first.processId()), SIGHUP);
    // A request answered after the hang-up: the instance is still there.
    ASSERT_NO_FATAL_FAILURE(expectSecondStartDefersTo(first));
    ASSERT_NO_FATAL_FAILURE(expectQuitEnds(first));
}

// Loading the models cannot be cut short; a program told to end meanwhile does not wait for it.
TEST_F(BinaryTest, ASignalWhileTheModelsLoadEndsTheProgram) {
    if (!handModelsPresent())
        GTEST_SKIP() << "the hand models are not present";
    QTemporaryDir models;
    const QDir from(
        QString::fromStdString(palmcue::handpose::MediaPipeHandPose::defaultModelDir()));
    for (const char* name : {palmcue::handpose::MediaPipeHandPose::kPalmModelFile,
                             palmcue::handpose::MediaPipeHandPose::kLandmarkModelFile})
        ASSERT_TRUE(
            QFile::copy(from.filePath(QLatin1String(name)), models.filePath(QLatin1String(name))));
    OpenGate gate(
        models.filePath(QLatin1String(palmcue::handpose::MediaPipeHandPose::kPalmModelFile)));
    if (!gate.isValid())
        GTEST_SKIP() << "holding a file open needs fanotify (CAP_SYS_ADMIN)";
    environment_.insert(QStringLiteral("PALMCUE_MODEL_DIR"), models.path());

    QProcess first;
    ASSERT_TRUE(startShown(first).contains("first frame"));
    ASSERT_TRUE(gate.waitForOpener(kExitWaitMs)) << "the models were not loaded";

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(kExitWaitMs));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(first.readAllStandardOutput().contains("hand models"));
}
