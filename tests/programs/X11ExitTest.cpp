// SPDX-License-Identifier: Apache-2.0
// palmcue on an X display (Xvfb) without a D-Bus session bus, as a user without one runs it:
// it shows its window, drawn by the software scene graph since GL would run on the CPU, and
// ends with status 0 on SIGTERM. In the AddressSanitizer build this is
// also the leak check of a whole run, where libraries' memory (libdbus, the GL driver) must
// not be reported as ours.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ProgramOnX11, ShowsItsWindowAndEndsWithStatus0OnSigterm) {
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* folder : {"runtime", "data/applications", "system", "config", "cache"})
        ASSERT_TRUE(QDir(dir.path()).mkpath(QLatin1String(folder)));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("PALMCUE_REPORT_STARTUP"), QStringLiteral("1"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), dir.filePath(QStringLiteral("system")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));

    // Inside the X server's session: start, wait for the first drawn frame, then SIGTERM.
    const QString script = QStringLiteral(R"(
        "$1" >"$2" 2>"$3" & program=$!
        for _ in $(seq 1200); do
            grep -q "first frame" "$2" && break
            kill -0 $program 2>/dev/null || break
            sleep 0.1
        done
        kill -TERM $program
        wait $program
    )");
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const QString err = dir.filePath(QStringLiteral("err.txt"));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                        QStringLiteral("sh"), QStringLiteral(PALMCUE_BINARY), out, err});
    // Not a time limit on the program: only a stop for a test that would otherwise hang.
    ASSERT_TRUE(run.waitForFinished(300'000));

    QFile outFile(out), errFile(err);
    ASSERT_TRUE(outFile.open(QIODevice::ReadOnly));
    ASSERT_TRUE(errFile.open(QIODevice::ReadOnly));
    const QByteArray output = outFile.readAll(), errors = errFile.readAll();
    EXPECT_TRUE(output.contains("first frame")) << output.toStdString() << errors.toStdString();
    // Xvfb has no GPU for GL (no DRI3 or DRI2): the software scene graph draws instead.
    EXPECT_TRUE(output.contains("scene graph software")) << output.toStdString();
    EXPECT_EQ(run.exitCode(), 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains("Sanitizer")) << errors.toStdString();
}
