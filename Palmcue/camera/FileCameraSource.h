// SPDX-License-Identifier: Apache-2.0
// A video file or a still image shown as a live camera, for demos and tests. Frames take the
// same path as a real camera's: preview layer, pixel buffers, detection queue.
#pragma once

#include "camera/FrameSource.h"

#include <QElapsedTimer>
#include <QImage>
#include <QVideoFrame>

class QMediaPlayer;
class QTimer;
class QVideoSink;

namespace palmcue::camera {

class ImagePixelBuffer;

class FileCameraSource : public FrameSource {
    Q_OBJECT

public:
    static constexpr int kFramesPerSecond = 30;

    // A still image, repeated at kFramesPerSecond.
    FileCameraSource(QString path, const QImage& still);
    // A video file, played in a loop at its own frame rate.
    explicit FileCameraSource(QString path);
    ~FileCameraSource() override;

    void start() override;
    void stop() override;
    std::chrono::milliseconds startTimeout() const override { return std::chrono::seconds(10); }

private:
    // False (and the failure reported) when the file has gone.
    bool checkFilePresent();
    // The same, looked up at most a few times a second rather than for each of 30 frames.
    bool stillPresent();
    void fail(const std::string& reason);
    void onVideoFrame(const QVideoFrame& frame);
    void showStill();

    QString path_;
    bool started_ = false;
    QElapsedTimer sinceCheck_; // since the file was last found
    // Still image: one buffer and one preview frame, shared by every tick.
    std::shared_ptr<const ImagePixelBuffer> stillBuffer_;
    QVideoFrame stillFrame_;
    QTimer* stillTimer_ = nullptr;
    // Video.
    QMediaPlayer* player_ = nullptr;
    QVideoSink* sink_ = nullptr;
};

} // namespace palmcue::camera
