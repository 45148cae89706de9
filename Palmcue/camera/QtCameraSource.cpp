// SPDX-License-Identifier: Apache-2.0
#include "camera/QtCameraSource.h"

#include "camera/CameraFormat.h"
#include "camera/CameraPipelineErrors.h"

#include <QCamera>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QTimer>
#include <QVideoSink>

namespace palmcue::camera {

QtCameraSource::QtCameraSource(const QCameraDevice& device, std::chrono::milliseconds startTimeout)
    : device_(device), format_(chooseCameraFormat(device.videoFormats())),
      startTimeout_(startTimeout), camera_(new QCamera(device, this)),
      capture_(new QMediaCaptureSession(this)), sink_(new QVideoSink(this)),
      devices_(new QMediaDevices(this)), errorGrace_(new QTimer(this)) {
    // The watch first: its hook must be in place before setCamera() starts the pipeline, or
    // the first camera's error (a busy device) can be posted before anything listens.
    CameraPipelineErrors& pipelineErrors = CameraPipelineErrors::instance();
    if (!format_.isNull())
        camera_->setCameraFormat(format_);
    // The sink first: Qt 6.4 puts the camera's branch into its running pipeline at
    // setCamera(), where a placeholder sink then starts an asynchronous move to PLAYING. A
    // video sink swapped in during that move can be passed over by it and left waiting in
    // PAUSED after one frame, so that no frame arrives until the camera is restarted.
    capture_->setVideoSink(sink_);
    capture_->setCamera(camera_);

    // The backend hands frames over on the main thread (GStreamer's sink waits for it).
    connect(sink_, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
        if (started_)
            Q_EMIT frameArrived(frame);
    });
    // QCamera turns active at start(), before any frame: the session counts the camera as
    // running from its first frame instead. Turning inactive by itself is a failure.
    connect(camera_, &QCamera::activeChanged, this, [this](bool active) {
        if (!active)
            fail("the camera stopped");
    });
    connect(camera_, &QCamera::errorOccurred, this, [this](QCamera::Error, const QString& text) {
        fail(text.isEmpty() ? std::string("camera failure") : text.toStdString());
    });
    connect(devices_, &QMediaDevices::videoInputsChanged, this, [this] {
        if (!devicePresent())
            fail("the camera was disconnected");
    });
    // Qt 6.4 runs the camera from setCamera() on, before start(): an error (a busy device) can
    // come before the start, and is kept for it. The first error says what went wrong; the
    // element does not recover from it.
    connect(&pipelineErrors, &CameraPipelineErrors::errorOccurred, this,
            [this](const QString& message) {
                if (!pipelineError_.empty())
                    return;
                pipelineError_ = message.toStdString();
                if (started_)
                    errorGrace_->start();
            });
    // An unplugged webcam's element fails with a read error that does not say why, often a
    // moment before the device list loses the camera: the error waits for the list that long.
    errorGrace_->setSingleShot(true);
    errorGrace_->setInterval(kUnplugGrace);
    connect(errorGrace_, &QTimer::timeout, this,
            [this] { fail(devicePresent() ? pipelineError_ : "the camera was disconnected"); });
}

QtCameraSource::~QtCameraSource() {
    stop();
    // Unhooked before the children go, so that no signal reaches a half-destroyed source.
    disconnect(sink_, nullptr, this, nullptr);
    disconnect(camera_, nullptr, this, nullptr);
    disconnect(devices_, nullptr, this, nullptr);
    disconnect(errorGrace_, nullptr, this, nullptr);
    disconnect(&CameraPipelineErrors::instance(), nullptr, this, nullptr);
    delete capture_;
    delete camera_;
}

Result<void> QtCameraSource::checkBuilt() const {
    if (camera_->error() != QCamera::NoError)
        return failure(camera_->errorString().toStdString());
    if (capture_->camera() != camera_)
        return failure("the camera input could not be added");
    if (capture_->videoSink() != sink_)
        return failure("the frame output could not be added");
    return {};
}

std::string QtCameraSource::formatDescription() const {
    return describeCameraFormat(format_);
}

void QtCameraSource::start() {
    started_ = true;
    camera_->start();
    if (camera_->error() != QCamera::NoError)
        fail(camera_->errorString().toStdString());
    else if (!pipelineError_.empty())
        errorGrace_->start();
}

void QtCameraSource::stop() {
    started_ = false;
    errorGrace_->stop();
    camera_->stop();
}

bool QtCameraSource::devicePresent() const {
    for (const QCameraDevice& input : QMediaDevices::videoInputs()) {
        if (input.id() == device_.id())
            return true;
    }
    return false;
}

void QtCameraSource::fail(const std::string& reason) {
    if (!started_)
        return;
    started_ = false;
    errorGrace_->stop();
    Q_EMIT failed(reason);
}

} // namespace palmcue::camera
