// SPDX-License-Identifier: Apache-2.0
#include "camera/QtCameraService.h"

#include "camera/QtCameraSource.h"
#include "camera/SourceSession.h"

#include <QMediaDevices>

namespace palmcue::camera {

QtCameraService::QtCameraService(CameraPermission permission)
    : permission_(std::move(permission)) {}

CameraAuthorization QtCameraService::authorizationStatus() {
    return permission_.status();
}

void QtCameraService::requestAccess(std::function<void(bool granted)> answer) {
    // Nothing to ask: access is granted by the device nodes, so the answer is a fresh look.
    answer(permission_.status() == CameraAuthorization::Authorized);
}

SessionBuild QtCameraService::makeSession() {
    const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
    if (inputs.isEmpty())
        return failure(CameraFault::NoCamera, "no camera is connected");
    QCameraDevice device = QMediaDevices::defaultVideoInput();
    if (device.isNull())
        device = inputs.front();

    auto source = std::make_unique<QtCameraSource>(device);
    if (Result<void> built = source->checkBuilt(); !built)
        return failure(CameraFault::CameraError, built.error());
    return std::make_unique<SourceSession>(std::move(source));
}

} // namespace palmcue::camera
