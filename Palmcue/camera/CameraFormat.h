// SPDX-License-Identifier: Apache-2.0
// Which of a camera's formats a session asks for, and how the debug line names it.
#pragma once

#include <QCameraFormat>
#include <QList>
#include <string>

namespace palmcue::camera {

// The format a camera session asks for: at least 25 fps if the camera offers it; then the
// smallest size of at least 480 lines (or, with none, the largest below), never above
// 1920x1080 while a smaller size exists; then the rate nearest 30 fps; and a raw format, which
// needs no decoding, before MJPEG at equal size and rate. Larger pictures find hands no better
// (the hand-pose models look at 192x192 and 224x224 pictures) and cost more to decode, convert
// and draw; BENCHMARKS.md ("Camera modes") has the figures. A null format when the list is
// empty.
QCameraFormat chooseCameraFormat(const QList<QCameraFormat>& formats);

// "1280x720 MJPEG 30 fps".
std::string describeCameraFormat(const QCameraFormat& format);

} // namespace palmcue::camera
