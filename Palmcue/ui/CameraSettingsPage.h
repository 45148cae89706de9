// SPDX-License-Identifier: Apache-2.0
// What the permission screen asks of the desktop: to open its camera settings page, and,
// where that cannot be done, how to get access to the camera instead.
#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace palmcue::ui {

class CameraSettingsPage : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell hands the view its desktop's settings page.")

public:
    using QObject::QObject;

    // Opens the page; false when there is none or it did not open.
    Q_INVOKABLE virtual bool openCameraSettings() = 0;
    // How this user gets access to the camera, for a person to read.
    Q_INVOKABLE virtual QString cameraAccessHelp() const = 0;
};

} // namespace palmcue::ui
