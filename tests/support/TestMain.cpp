// SPDX-License-Identifier: Apache-2.0
// gtest entry with a Qt application object, so that tests can run the main event loop. It
// also sets up the environment every test expects, so that a test binary run by hand behaves
// as under ctest.
//
// The runtime, configuration and temporary folders are a fresh folder under /tmp, removed at
// the end: short paths wherever the checkout is (a Unix socket address holds at most 107
// bytes, and fontconfig leaks when its configuration folder's path passes ~95), and nothing is
// left in the checkout. The cache stays in the build tree, shared by the test processes.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

void setDefault(const char* name, const QByteArray& value) {
    if (qEnvironmentVariableIsEmpty(name))
        qputenv(name, value);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char pattern[] = "/tmp/palmcue-test-XXXXXX"; // made with mode 0700
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("cannot create a folder in /tmp");
        return 1;
    }
    const QByteArray scratch = pattern;
    for (const char* folder : {"/runtime", "/config", "/tmp"})
        QDir().mkpath(QString::fromUtf8(scratch + folder));
    QFile::setPermissions(QString::fromUtf8(scratch + "/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", scratch + "/runtime");
    qputenv("XDG_CONFIG_HOME", scratch + "/config");
    qputenv("TMPDIR", scratch + "/tmp");
    const QByteArray cache = PALMCUE_TEST_HOME "/cache";
    QDir().mkpath(QString::fromUtf8(cache));
    qputenv("XDG_CACHE_HOME", cache);
    setDefault("QT_QPA_PLATFORM", "offscreen");
    setDefault("PALMCUE_SHARED_DIR", PALMCUE_TEST_SHARED_DIR);
    setDefault("PALMCUE_MODEL_DIR", PALMCUE_TEST_MODEL_DIR);
    int status = 0;
    {
        QGuiApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    QDir(QString::fromUtf8(scratch)).removeRecursively();
    return status;
}
