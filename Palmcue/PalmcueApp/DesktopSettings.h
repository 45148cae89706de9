// The desktop's settings program, as far as the permission screen needs it: the page closest
// to camera privacy that the running desktop offers. Exposed to QML as `desktop`.
#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

namespace palmcue::shell {

class DesktopSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canOpenCameraSettings READ canOpenCameraSettings CONSTANT)

public:
    // Starts a program without waiting for it; returns whether it could be started.
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;

    // Looks the settings program up once, in `environment` (PATH, XDG_CURRENT_DESKTOP,
    // XDG_DATA_HOME, XDG_DATA_DIRS).
    explicit DesktopSettings(
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
        Starter starter = startDetached, QObject* parent = nullptr);

    bool canOpenCameraSettings() const { return !program_.isEmpty(); }
    // The command that openCameraSettings() runs; empty when there is none.
    QString program() const { return program_; }
    QStringList arguments() const { return arguments_; }

    // Opens the page; the outcome is not reported (a settings program that fails to start
    // leaves nothing for the user to act on).
    Q_INVOKABLE void openCameraSettings();

    static bool startDetached(const QString& program, const QStringList& arguments);

private:
    QString program_;
    QStringList arguments_;
    Starter starter_;
};

} // namespace palmcue::shell
