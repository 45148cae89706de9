// SPDX-License-Identifier: Apache-2.0
// The live picture of a session for the preview panel. QML hands over the videoSink of its
// VideoOutput, which mirrors the picture and crops it to fill the panel.
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
