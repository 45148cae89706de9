// SPDX-License-Identifier: Apache-2.0
#include "camera/QtCameraService.h"

#include "camera/CameraDevices.h"
#include "camera/QtCameraSource.h"
#include "camera/SourceSession.h"

#include <QMediaDevices>

namespace palmcue::camera {

QtCameraService::QtCameraService(CameraPermission permission, std::optional<QCameraDevice> chosen,
                                 std::chrono::milliseconds noPictureLimit)
    : permission_(std::move(permission)), chosen_(std::move(chosen)),
      noPictureLimit_(noPictureLimit) {}

CameraAuthorization QtCameraService::authorizationStatus() {
    return permission_.status();
}

void QtCameraService::requestAccess(std::function<void(bool granted)> answer) {
    // Nothing to ask: access is granted by the device nodes, so the answer is a fresh look.
    answer(permission_.status() == CameraAuthorization::Authorized);
}

Result<QCameraDevice, CameraFault> QtCameraService::currentCamera() const {
    const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
    if (inputs.isEmpty())
        return failure(CameraFault::NoCamera, "no camera is connected");
    if (chosen_) {
        // Named by the user: used whatever it gives, as long as it is there.
        QCameraDevice camera = sameCamera(inputs, *chosen_);
        if (camera.isNull())
            return failure(CameraFault::CameraError,
                           chosen_->description().toStdString() + " is not connected");
        return camera;
    }
    QCameraDevice camera = defaultCamera(inputs, QMediaDevices::defaultVideoInput());
    if (!givesColour(camera))
        return failure(CameraFault::NoColourCamera,
                       camera.description().toStdString() +
                           " gives greyscale (infrared) pictures only");
    return camera;
}

SessionBuild QtCameraService::makeSession() {
    Result<QCameraDevice, CameraFault> camera = currentCamera();
    if (!camera)
        return failure(camera.fault(), camera.error());
    auto source = std::make_unique<QtCameraSource>(*camera, noPictureLimit_);
    if (Result<void> built = source->checkBuilt(); !built)
        return failure(CameraFault::CameraError, built.error());
    return std::make_unique<SourceSession>(std::move(source));
}

} // namespace palmcue::camera
