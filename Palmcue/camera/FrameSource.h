// SPDX-License-Identifier: Apache-2.0
// Something that produces the frames of a capture session: a camera, a video file, a still
// image. It lives on the main thread and reports there, through its signals; whether it counts
// as started, and what happens to its frames, is the session's business (SourceSession).
#pragma once

#include "engine/Services.h"

#include <QObject>
#include <QVideoFrame>
#include <chrono>
#include <memory>
#include <string>

namespace palmcue::camera {

class FrameSource : public QObject {
    Q_OBJECT

public:
    // Starts producing frames. A source that cannot start says so with failed(), possibly
    // before start() returns.
    virtual void start() = 0;
    // Stops producing; harmless when not started.
    virtual void stop() = 0;
    // How long the first frame may take before the start counts as failed.
    virtual std::chrono::milliseconds startTimeout() const = 0;
    // The picture format in use, as the debug line shows it ("1280x720 MJPEG 30 fps"); empty
    // when there is nothing to tell.
    virtual std::string formatDescription() const { return {}; }

Q_SIGNALS:
    // A frame to copy for detection and show in the preview.
    void frameArrived(const QVideoFrame& frame);
    // A picture that is already decoded: `buffer` for detection, `preview` to show.
    void pictureArrived(std::shared_ptr<const palmcue::PixelBuffer> buffer,
                        const QVideoFrame& preview);
    // The source cannot deliver frames, or no longer can.
    void failed(const std::string& reason);
    // The source has lost its picture and waits for it to come back; frames again, or failed(),
    // end the wait.
    void interrupted(const std::string& reason);
};

} // namespace palmcue::camera
