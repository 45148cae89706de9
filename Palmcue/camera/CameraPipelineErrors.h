// SPDX-License-Identifier: Apache-2.0
// The errors of Qt Multimedia's GStreamer camera pipeline. Qt 6.4 drops them: a busy device,
// an unplugged one or a failed negotiation leave QCamera active, with no frames and no error.
// A GStreamer tracer hook sees every error message posted in the process; those that come from
// the camera bin Qt builds ("camerabin", holding the device's element "camerasrc") are handed
// to the main thread and announced there.
#pragma once

#include <QObject>

namespace palmcue::camera {

class CameraPipelineErrors : public QObject {
    Q_OBJECT

public:
    // The process-wide watch, created (and its hook installed) on first use. Main thread.
    static CameraPipelineErrors& instance();

Q_SIGNALS:
    // Main thread. The first error of each failure, as GStreamer words it ("Device
    // '/dev/video0' is busy").
    void errorOccurred(const QString& message);

private:
    CameraPipelineErrors() = default;
};

} // namespace palmcue::camera
