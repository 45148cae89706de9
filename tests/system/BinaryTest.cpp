// The built program as a user starts it: its command line, and one instance per user.
#include "PalmcueApp/SingleInstance.h"
#include "ShellTestSupport.h"
#include "support/SharedData.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>
#include <unistd.h>

using palmcue::shell::SingleInstance;
using namespace palmcue::test;

namespace {

// Bounds for a loaded machine; reaching one means the program hangs.
constexpr int kExitWaitMs = 30000;

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

    QString socketPath() const {
        return runtime_.filePath(QStringLiteral("palmcue-%1").arg(::getuid()));
    }

    QTemporaryDir runtime_;
    MessagesApplication apps_;
    QProcessEnvironment environment_;
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
        EXPECT_TRUE(process.readAllStandardError().contains("usage: palmcue [--camera-file PATH]"));
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    }
}

TEST_F(BinaryTest, ASecondStartAsksTheRunningInstanceToShowAndEnds) {
    // This test process plays the running instance.
    SingleInstance running(socketPath());
    ASSERT_EQ(running.claim(), SingleInstance::Role::Primary);
    int shows = 0;
    QObject::connect(&running, &SingleInstance::showRequested, [&shows] { ++shows; });

    QProcess second;
    ASSERT_NO_FATAL_FAILURE(runToEnd(second));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return shows == 1; }));
}

TEST_F(BinaryTest, ShowsItsWindowAndStaysTheOnlyInstance) {
    environment_.insert(QStringLiteral("PALMCUE_REPORT_STARTUP"), QStringLiteral("1"));
    QProcess first;
    ASSERT_NO_FATAL_FAILURE(start(first));
    QByteArray report;
    const bool shown = waitUntil(
        [&] {
            first.waitForReadyRead(10);
            report += first.readAllStandardOutput();
            return report.contains("first frame") || first.state() != QProcess::Running;
        },
        kExitWaitMs);
    ASSERT_TRUE(shown && report.contains("first frame"))
        << report.toStdString() << first.readAllStandardError().toStdString();
    std::cout << "[ startup ] " << report.trimmed().toStdString() << std::endl;

    environment_.remove(QStringLiteral("PALMCUE_REPORT_STARTUP"));
    QProcess second;
    ASSERT_NO_FATAL_FAILURE(runToEnd(second));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);

    // SIGTERM (as at log-out) ends the event loop: a normal exit, not death by the signal.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(kExitWaitMs));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}
