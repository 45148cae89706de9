// SPDX-License-Identifier: Apache-2.0
// A real camera through Qt Multimedia: QCamera into a QMediaCaptureSession, with a QVideoSink
// as the frame tap, asking the camera for the format chooseCameraFormat() picks.
#pragma once

#include "camera/FrameSource.h"

#include <QCameraDevice>
#include <QCameraFormat>

class QCamera;
class QMediaCaptureSession;
class QMediaDevices;
class QTimer;
class QVideoSink;

namespace palmcue::camera {

class QtCameraSource : public FrameSource {
    Q_OBJECT

public:
    explicit QtCameraSource(const QCameraDevice& device,
                            std::chrono::milliseconds startTimeout = std::chrono::seconds(10));
    ~QtCameraSource() override;

    // Whether the camera input and the frame output could be set up, and why not.
    Result<void> checkBuilt() const;

    void start() override;
    void stop() override;
    std::chrono::milliseconds startTimeout() const override { return startTimeout_; }
    std::string formatDescription() const override;

private:
    static constexpr std::chrono::milliseconds kUnplugGrace{250};

    bool devicePresent() const;
    // While started: the camera can no longer deliver frames.
    void fail(const std::string& reason);

    QCameraDevice device_;
    QCameraFormat format_;
    std::chrono::milliseconds startTimeout_;
    bool started_ = false;
    QCamera* camera_;
    QMediaCaptureSession* capture_;
    QVideoSink* sink_;
    QMediaDevices* devices_;
    QTimer* errorGrace_;
    std::string pipelineError_; // the first one since the camera was set up
};

} // namespace palmcue::camera
