// Which settings program the permission screen's "Open System Settings" runs, per desktop.
#include "PalmcueApp/DesktopSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using palmcue::shell::DesktopSettings;

namespace {

class DesktopSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QDir(dir_.path()).mkpath(QStringLiteral("bin"));
        QDir(dir_.path()).mkpath(QStringLiteral("data/applications"));
        environment_.insert(QStringLiteral("PATH"), dir_.filePath(QStringLiteral("bin")));
        environment_.insert(QStringLiteral("XDG_DATA_DIRS"), dir_.filePath(QStringLiteral("data")));
        environment_.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("home")));
    }

    void addProgram(const QString& name) {
        QFile file(dir_.filePath(QStringLiteral("bin/") + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void addDesktopEntry(const QString& fileName) {
        QFile file(dir_.filePath(QStringLiteral("data/applications/") + fileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=Camera\nExec=true\n");
    }

    // The settings object, with the commands it starts collected in `started`.
    std::unique_ptr<DesktopSettings> make() {
        return std::make_unique<DesktopSettings>(
            environment_, [this](const QString& program, const QStringList& arguments) {
                started.push_back(QStringList{program} + arguments);
                return true;
            });
    }

    QString bin(const QString& name) const { return dir_.filePath(QStringLiteral("bin/") + name); }

    QTemporaryDir dir_;
    QProcessEnvironment environment_;
    std::vector<QStringList> started;
};

} // namespace

TEST_F(DesktopSettingsTest, WithoutASettingsProgramTheButtonIsOffAndDoesNothing) {
    addProgram(QStringLiteral("unrelated"));
    auto settings = make();
    EXPECT_FALSE(settings->canOpenCameraSettings());
    settings->openCameraSettings();
    EXPECT_TRUE(started.empty());
}

TEST_F(DesktopSettingsTest, GnomeOpensItsCameraPanelOrElsePrivacy) {
    addProgram(QStringLiteral("gnome-control-center"));
    environment_.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));

    auto older = make();
    ASSERT_TRUE(older->canOpenCameraSettings());
    older->openCameraSettings();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (QStringList{bin(QStringLiteral("gnome-control-center")),
                                       QStringLiteral("privacy")}));

    addDesktopEntry(QStringLiteral("gnome-camera-panel.desktop"));
    auto newer = make();
    newer->openCameraSettings();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1],
              (QStringList{bin(QStringLiteral("gnome-control-center")), QStringLiteral("camera")}));
}

TEST_F(DesktopSettingsTest, TheRunningDesktopChoosesWhenBothAreInstalled) {
    addProgram(QStringLiteral("gnome-control-center"));
    addProgram(QStringLiteral("systemsettings"));

    environment_.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
    EXPECT_EQ(make()->program(), bin(QStringLiteral("systemsettings")));
    EXPECT_TRUE(make()->arguments().isEmpty());

    environment_.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("ubuntu:GNOME"));
    EXPECT_EQ(make()->program(), bin(QStringLiteral("gnome-control-center")));

    // Elsewhere GNOME's panels are the closer match.
    environment_.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("XFCE"));
    EXPECT_EQ(make()->program(), bin(QStringLiteral("gnome-control-center")));
}

TEST_F(DesktopSettingsTest, PlasmaAloneOpensItsSettingsWindow) {
    addProgram(QStringLiteral("systemsettings"));
    auto settings = make();
    ASSERT_TRUE(settings->canOpenCameraSettings());
    settings->openCameraSettings();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], QStringList{bin(QStringLiteral("systemsettings"))});
}
