// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/DesktopSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace palmcue::shell {

namespace {

QStringList splitPath(const QString& list) {
    return list.split(u':', Qt::SkipEmptyParts);
}

QString findProgram(const QProcessEnvironment& environment, const QString& name) {
    return QStandardPaths::findExecutable(name,
                                          splitPath(environment.value(QStringLiteral("PATH"))));
}

// Whether a desktop entry with this file name is installed, by the XDG data-directory rules.
bool hasDesktopEntry(const QProcessEnvironment& environment, const QString& fileName) {
    QString home = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (home.isEmpty())
        home = environment.value(QStringLiteral("HOME")) + QStringLiteral("/.local/share");
    QString dirs = environment.value(QStringLiteral("XDG_DATA_DIRS"));
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders = splitPath(dirs);
    folders.prepend(home);
    for (const QString& folder : folders) {
        if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("applications/") + fileName)))
            return true;
    }
    return false;
}

bool desktopIs(const QProcessEnvironment& environment, const QString& name) {
    const QStringList desktops =
        environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(u':', Qt::SkipEmptyParts);
    return desktops.contains(name, Qt::CaseInsensitive);
}

} // namespace

DesktopSettings::DesktopSettings(const QProcessEnvironment& environment, Starter starter,
                                 QObject* parent)
    : CameraSettingsPage(parent), starter_(std::move(starter)) {
    const QString gnome = findProgram(environment, QStringLiteral("gnome-control-center"));
    const QString plasma = findProgram(environment, QStringLiteral("systemsettings"));
    // Plasma has no camera privacy page: its settings window is the closest there is.
    if (!plasma.isEmpty() && (desktopIs(environment, QStringLiteral("KDE")) || gnome.isEmpty())) {
        program_ = plasma;
    } else if (!gnome.isEmpty()) {
        program_ = gnome;
        // GNOME 41 and later have a camera panel of their own; older ones only "privacy".
        const bool cameraPanel =
            hasDesktopEntry(environment, QStringLiteral("gnome-camera-panel.desktop"));
        arguments_ = {cameraPanel ? QStringLiteral("camera") : QStringLiteral("privacy")};
    }
}

bool DesktopSettings::openCameraSettings() {
    return canOpenCameraSettings() && starter_ && starter_(program_, arguments_);
}

QString DesktopSettings::cameraAccessHelp(const QString& deviceDir) {
    const QDir dir(deviceDir);
    const QStringList nodes = dir.entryList({QStringLiteral("video*")},
                                            QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    struct stat info {};
    if (nodes.isEmpty() ||
        ::stat(QFile::encodeName(dir.filePath(nodes.front())).constData(), &info) != 0) {
        return QStringLiteral("No camera was found (%1 has no video device). Connect a camera, "
                              "then click Grant Camera Access.")
            .arg(deviceDir);
    }
    const QString device = dir.filePath(nodes.front());
    const group* owners = ::getgrgid(info.st_gid);
    const QString groupName =
        owners ? QString::fromLocal8Bit(owners->gr_name) : QString::number(info.st_gid);

    std::vector<gid_t> groups(std::size_t(std::max(0, ::getgroups(0, nullptr))));
    groups.resize(std::size_t(std::max(0, ::getgroups(int(groups.size()), groups.data()))));
    const bool inGroup = ::getegid() == info.st_gid ||
                         std::find(groups.begin(), groups.end(), info.st_gid) != groups.end();
    if (inGroup || (info.st_mode & S_IRWXG) == 0) {
        return QStringLiteral("Your user may not open the camera %1. Ask the administrator of "
                              "this computer for access to it, then click Grant Camera Access.")
            .arg(device);
    }
    const passwd* user = ::getpwuid(::getuid());
    const QString userName = user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("$USER");
    return QStringLiteral("The camera %1 may be opened by members of the group \"%2\". Add "
                          "yourself to it with\n\nsudo usermod -aG %2 %3\n\nthen log out and "
                          "back in, and click Grant Camera Access.")
        .arg(device, groupName, userName);
}

bool DesktopSettings::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

} // namespace palmcue::shell
