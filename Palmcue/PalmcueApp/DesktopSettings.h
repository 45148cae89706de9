// SPDX-License-Identifier: Apache-2.0
// The desktop's settings program, as far as the permission screen needs it: the page closest
// to camera privacy that the running desktop offers, and, where there is none, how to get
// access to the camera on Linux. Exposed to QML as `desktop`.
#pragma once

#include "ui/CameraSettingsPage.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

namespace palmcue::shell {

class DesktopSettings : public ui::CameraSettingsPage {
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

    // Opens the page. False when there is no settings program or it did not start: the
    // permission screen then shows cameraAccessHelp() instead.
    bool openCameraSettings() override;

    // How this user gets at the camera: on Linux that is access to the video device nodes,
    // usually through their group, which no settings program changes.
    QString cameraAccessHelp() const override { return cameraAccessHelp(deviceDir_); }
    // The same for the "video*" nodes in `deviceDir`.
    static QString cameraAccessHelp(const QString& deviceDir);

    static bool startDetached(const QString& program, const QStringList& arguments);

private:
    QString program_;
    QStringList arguments_;
    Starter starter_;
    QString deviceDir_ = QStringLiteral("/dev");
};

} // namespace palmcue::shell
