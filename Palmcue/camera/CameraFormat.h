// SPDX-License-Identifier: Apache-2.0
// Which of a camera's formats a session asks for, and how the debug line names it.
#pragma once

#include <QCameraFormat>
#include <QList>
#include <string>

namespace palmcue::camera {

// The format a camera session asks for: at least 25 fps if the camera offers it, then the
// size nearest 1280x720 by pixel count and never above 1920x1080, then the rate nearest 30 fps,
// and a raw format that frames are converted from directly before MJPEG at equal size and
// rate. A null format when the list is empty.
QCameraFormat chooseCameraFormat(const QList<QCameraFormat>& formats);

// "1280x720 MJPEG 30 fps".
std::string describeCameraFormat(const QCameraFormat& format);

} // namespace palmcue::camera
