// SPDX-License-Identifier: Apache-2.0
// The cameras Qt Multimedia lists, as Palm&Cue sees them: which one it uses when none is named,
// finding the one a user names, and the list `palmcue --list-cameras` prints.
//
// An infrared camera (the second video device of many laptops, for face login) offers only
// greyscale modes and shows a dark, grainy picture in daylight; it is never the one used
// without being named while a colour camera exists.
#pragma once

#include "engine/Result.h"

#include <QCameraDevice>
#include <QList>
#include <QString>

namespace palmcue::camera {

// Whether the camera offers a colour mode; false when every mode is greyscale.
bool givesColour(const QCameraDevice& camera);

// The camera used when none is named: the system's default, unless it gives no colour and
// another camera does, then the first colour camera. Null when `cameras` is empty.
QCameraDevice defaultCamera(const QList<QCameraDevice>& cameras,
                            const QCameraDevice& systemDefault);

// The camera `name` names: the one with that id, else the one whose description contains it
// (case-insensitive). Fails, with the list of cameras, when none or several match.
Result<QCameraDevice> findCamera(const QList<QCameraDevice>& cameras, const QString& name);

// The same camera in a newer list (after it was unplugged and plugged back, or on a later
// Start): the same id, else the same description. Null when it is not there.
QCameraDevice sameCamera(const QList<QCameraDevice>& cameras, const QCameraDevice& camera);

// Each camera with its id, its description, the marks "default" (the one used when none is
// named) and "infrared", and its modes, marking the one Palm&Cue would ask for.
QString describeCameras(const QList<QCameraDevice>& cameras, const QCameraDevice& used);

} // namespace palmcue::camera
