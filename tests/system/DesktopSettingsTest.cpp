// SPDX-License-Identifier: Apache-2.0
// Which settings program the permission screen's "Open System Settings" runs, per desktop, and
// the help it shows where there is none.
#include "PalmcueApp/DesktopSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(DesktopSettingsTest, WithoutASettingsProgramNothingStartsAndTheScreenIsTold) {
    addProgram(QStringLiteral("unrelated"));
    auto settings = make();
    EXPECT_FALSE(settings->canOpenCameraSettings());
    EXPECT_FALSE(settings->openCameraSettings());
    EXPECT_TRUE(started.empty());

    // A settings program that does not start counts as none.
    addProgram(QStringLiteral("gnome-control-center"));
    DesktopSettings failing(environment_, [](const QString&, const QStringList&) { return false; });
    EXPECT_TRUE(failing.canOpenCameraSettings());
    EXPECT_FALSE(failing.openCameraSettings());
    EXPECT_TRUE(make()->openCameraSettings());
}

TEST_F(DesktopSettingsTest, HelpSaysHowToGetAtTheCamera) {
    const QDir devices(dir_.filePath(QStringLiteral("dev")));
    ASSERT_TRUE(devices.mkpath(QStringLiteral(".")));
    EXPECT_TRUE(DesktopSettings::cameraAccessHelp(devices.path())
                    .startsWith(QStringLiteral("No camera was found")));

    const QString video = devices.filePath(QStringLiteral("video0"));
    QFile node(video);
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    node.close();
    ASSERT_EQ(::chmod(QFile::encodeName(video).constData(), 0660), 0);
    // A group this process is in: the group is not the obstacle.
    ASSERT_EQ(::chown(QFile::encodeName(video).constData(), uid_t(-1), ::getegid()), 0);
    QString help = DesktopSettings::cameraAccessHelp(devices.path());
    EXPECT_TRUE(help.contains(video)) << help.toStdString();
    EXPECT_TRUE(help.contains(QStringLiteral("administrator"))) << help.toStdString();

    if (::geteuid() != 0)
        return; // giving the node to a group we are not in needs root
    const group* nogroup = ::getgrgid(65534);
    ASSERT_NE(nogroup, nullptr);
    ASSERT_EQ(::chown(QFile::encodeName(video).constData(), uid_t(-1), 65534), 0);
    help = DesktopSettings::cameraAccessHelp(devices.path());
    const QString command = QStringLiteral("sudo usermod -aG %1 %2")
                                .arg(QString::fromLocal8Bit(nogroup->gr_name),
                                     QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name));
    EXPECT_TRUE(help.contains(command)) << help.toStdString();
    EXPECT_TRUE(help.contains(video)) << help.toStdString();
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
