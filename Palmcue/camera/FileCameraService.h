// SPDX-License-Identifier: Apache-2.0
// A camera that shows a video file or a still image (the --camera-file option).
#pragma once

#include "engine/Services.h"

#include <QString>

namespace palmcue::camera {

class FileCameraService : public CameraService {
public:
    explicit FileCameraService(QString path);

    CameraAuthorization authorizationStatus() override { return CameraAuthorization::Authorized; }
    void requestAccess(std::function<void(bool granted)> answer) override { answer(true); }
    // "Camera error: cannot open <path>: <reason>" when the file cannot be read; a file that
    // is not a picture is tried as a video, which fails at start if it is not one either.
    SessionBuild makeSession() override;

private:
    QString path_;
};

} // namespace palmcue::camera
