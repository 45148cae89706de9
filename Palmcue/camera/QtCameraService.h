// SPDX-License-Identifier: Apache-2.0
// The system's default camera, through Qt Multimedia.
#pragma once

#include "camera/CameraPermission.h"
#include "engine/Services.h"

namespace palmcue::camera {

class QtCameraService : public CameraService {
public:
    explicit QtCameraService(CameraPermission permission = CameraPermission());

    CameraAuthorization authorizationStatus() override;
    void requestAccess(std::function<void(bool granted)> answer) override;
    SessionBuild makeSession() override;

private:
    CameraPermission permission_;
};

} // namespace palmcue::camera
