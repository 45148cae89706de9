// SPDX-License-Identifier: Apache-2.0
// The system's cameras, through Qt Multimedia: the one named on the command line, or else the
// default one (a colour camera before an infrared one, see CameraDevices.h).
#pragma once

#include "camera/CameraPermission.h"
#include "engine/Services.h"

#include <QCameraDevice>
#include <chrono>
#include <optional>

namespace palmcue::camera {

class QtCameraService : public CameraService {
public:
    // `noPictureLimit`: how long a camera may give no picture, at its start or while it runs,
    // before it counts as failed.
    explicit QtCameraService(CameraPermission permission = CameraPermission(),
                             std::optional<QCameraDevice> chosen = std::nullopt,
                             std::chrono::milliseconds noPictureLimit = std::chrono::seconds(10));

    CameraAuthorization authorizationStatus() override;
    void requestAccess(std::function<void(bool granted)> answer) override;
    SessionBuild makeSession() override;

private:
    // The camera a session is built on now, or why there is none.
    Result<QCameraDevice, CameraFault> currentCamera() const;

    CameraPermission permission_;
    std::optional<QCameraDevice> chosen_;
    std::chrono::milliseconds noPictureLimit_;
};

} // namespace palmcue::camera
