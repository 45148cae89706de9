// SPDX-License-Identifier: Apache-2.0
// A real camera through Qt Multimedia: QCamera into a QMediaCaptureSession, with a QVideoSink
// as the frame tap, asking the camera for the format chooseCameraFormat() picks.
//
// A camera that fails before its first frame fails the start. One that was running and fails
// (unplugged, a USB reset, a laptop waking up, a pipeline error) is waited for: the source says
// it is interrupted, builds the camera anew as soon as it is listed again, and fails only if no
// picture comes back within the start timeout.
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
    static constexpr std::chrono::milliseconds kRetryDelay{500};

    // The camera's pipeline for `device`, in the format chosen for it.
    void build(const QCameraDevice& device);
    void tearDown();
    void onFrame(const QVideoFrame& frame);
    void onPipelineError(const QString& message);
    bool devicePresent() const;
    // While started: the camera can no longer deliver frames.
    void lost(const std::string& reason);
    void fail(const std::string& reason);
    // While recovering: the camera again, if it is listed.
    void reopen();

    QCameraDevice device_;
    QCameraFormat format_;
    std::chrono::milliseconds startTimeout_;
    bool started_ = false;
    bool delivered_ = false;  // a frame came since start(): the camera ran
    bool recovering_ = false; // waiting for the camera to come back
    std::string lostReason_;
    QCamera* camera_ = nullptr;
    QMediaCaptureSession* capture_ = nullptr;
    QVideoSink* sink_ = nullptr;
    QMediaDevices* devices_;
    QTimer* errorGrace_;
    QTimer* retry_;
    QTimer* deadline_;
    std::string pipelineError_; // the first one of the current pipeline
    // Pipeline errors are announced through the main thread's mailbox: those of a pipeline
    // torn down are still on their way for a moment, and are told apart by this count.
    std::uint64_t pipelines_ = 0;
    std::uint64_t pipelineHeard_ = 1; // the first pipeline
};

} // namespace palmcue::camera
