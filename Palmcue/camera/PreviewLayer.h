// SPDX-License-Identifier: Apache-2.0
// The live picture of a session for the preview panel. QML hands over the video sink of its
// PreviewPicture, which crops, scales, mirrors and rounds each frame it draws.
#pragma once

#include "engine/LivePreview.h"

#include <QPointer>
#include <QVideoFrame>
#include <QVideoSink>

namespace palmcue::camera {

class PreviewLayer : public LivePreview {
    Q_OBJECT

public:
    using LivePreview::LivePreview;

    void attach(QObject* videoSink) override;

    // Main thread: shows `frame` in the attached sink; an invalid frame clears the picture.
    void present(const QVideoFrame& frame);

private:
    QPointer<QVideoSink> sink_;
    QVideoFrame lastFrame_; // shown at once in a sink attached between two frames
};

} // namespace palmcue::camera
