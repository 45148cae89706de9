// gtest entry with a Qt application object, so that tests can run the main event loop. It
// also sets up the environment every test expects, so that a test binary run by hand behaves
// as under ctest.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

void setDefault(const char* name, const QByteArray& value) {
    if (qEnvironmentVariableIsEmpty(name))
        qputenv(name, value);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const QByteArray home = PALMCUE_TEST_HOME;
    for (const char* folder : {"/runtime", "/cache", "/config", "/tmp"})
        QDir().mkpath(QString::fromUtf8(home + folder));
    QFile::setPermissions(QString::fromUtf8(home + "/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", home + "/runtime");
    qputenv("XDG_CACHE_HOME", home + "/cache");
    qputenv("XDG_CONFIG_HOME", home + "/config");
    qputenv("TMPDIR", home + "/tmp");
    setDefault("QT_QPA_PLATFORM", "offscreen");
    setDefault("PALMCUE_SHARED_DIR", PALMCUE_TEST_SHARED_DIR);
    setDefault("PALMCUE_MODEL_DIR", PALMCUE_TEST_MODEL_DIR);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
