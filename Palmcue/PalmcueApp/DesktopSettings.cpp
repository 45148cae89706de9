#include "PalmcueApp/DesktopSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

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
    : QObject(parent), starter_(std::move(starter)) {
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

void DesktopSettings::openCameraSettings() {
    if (canOpenCameraSettings() && starter_)
        starter_(program_, arguments_);
}

bool DesktopSettings::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

} // namespace palmcue::shell
