// SPDX-License-Identifier: Apache-2.0
// Whether this user may use the camera. Linux has no permission prompt: the video device
// nodes carry group and access-list rules, and a node that refuses to open with EACCES is the
// Linux form of a refused camera permission.
#pragma once

#include "engine/Services.h"

#include <QString>
#include <functional>

namespace palmcue::camera {

class CameraPermission {
public:
    // Tries to open one device node; returns 0 or the errno of the failure.
    using Probe = std::function<int(const QString& path)>;

    // Looks at the "video*" nodes in `deviceDir` with `probe` (by default open(2) for reading
    // and writing, then close).
    explicit CameraPermission(QString deviceDir = QStringLiteral("/dev"), Probe probe = {});

    // Denied only when video nodes exist and every one of them refused for lack of permission;
    // no nodes at all is "no camera", which is reported elsewhere.
    CameraAuthorization status() const;

    static int openProbe(const QString& path);

private:
    QString deviceDir_;
    Probe probe_;
};

} // namespace palmcue::camera
