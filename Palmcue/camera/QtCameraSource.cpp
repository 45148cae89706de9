// SPDX-License-Identifier: Apache-2.0
#include "camera/QtCameraSource.h"

#include "camera/CameraDevices.h"
#include "camera/CameraFormat.h"
#include "camera/CameraPipelineErrors.h"
#include "engine/Mailbox.h"

#include <QCamera>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>
#include <QVideoSink>

namespace palmcue::camera {

QtCameraSource::QtCameraSource(const QCameraDevice& device, std::chrono::milliseconds startTimeout)
    : startTimeout_(startTimeout), devices_(new QMediaDevices(this)), errorGrace_(new QTimer(this)),
      retry_(new QTimer(this)), deadline_(new QTimer(this)) {
    // The watch first: its hook must be in place before setCamera() starts the pipeline, or
    // the first camera's error (a busy device) can be posted before anything listens.
    connect(&CameraPipelineErrors::instance(), &CameraPipelineErrors::errorOccurred, this,
            &QtCameraSource::onPipelineError);
    connect(devices_, &QMediaDevices::videoInputsChanged, this, [this] {
        if (!started_)
            return;
        if (recovering_)
            reopen();
        else if (!devicePresent())
            lost("the camera was disconnected");
    });
    // An unplugged webcam's element fails with a read error that does not say why, often a
    // moment before the device list loses the camera: the error waits for the list that long.
    errorGrace_->setSingleShot(true);
    errorGrace_->setInterval(kUnplugGrace);
    connect(errorGrace_, &QTimer::timeout, this,
            [this] { lost(devicePresent() ? pipelineError_ : "the camera was disconnected"); });
    retry_->setSingleShot(true);
    retry_->setInterval(kRetryDelay);
    connect(retry_, &QTimer::timeout, this, &QtCameraSource::reopen);
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] { fail(lostReason_); });
    build(device);
}

QtCameraSource::~QtCameraSource() {
    stop();
    // Unhooked before the children go, so that no signal reaches a half-destroyed source.
    disconnect(devices_, nullptr, this, nullptr);
    disconnect(&CameraPipelineErrors::instance(), nullptr, this, nullptr);
    for (QTimer* timer : {errorGrace_, retry_, deadline_})
        disconnect(timer, nullptr, this, nullptr);
    tearDown();
}

void QtCameraSource::build(const QCameraDevice& device) {
    device_ = device;
    format_ = chooseCameraFormat(device.videoFormats());
    ++pipelines_;
    pipelineError_.clear();
    camera_ = new QCamera(device, this);
    capture_ = new QMediaCaptureSession(this);
    sink_ = new QVideoSink(this);
    if (!format_.isNull())
        camera_->setCameraFormat(format_);
    // The sink first: Qt 6.4 puts the camera's branch into its running pipeline at
    // setCamera(), where a placeholder sink then starts an asynchronous move to PLAYING. A
    // video sink swapped in during that move can be passed over by it and left waiting in
    // PAUSED after one frame, so that no frame arrives until the camera is restarted.
    capture_->setVideoSink(sink_);
    capture_->setCamera(camera_);

    // The backend hands frames over on the main thread (GStreamer's sink waits for it).
    connect(sink_, &QVideoSink::videoFrameChanged, this, &QtCameraSource::onFrame);
    // QCamera turns active at start(), before any frame: the session counts the camera as
    // running from its first frame instead. Turning inactive by itself is a failure. Both are
    // handled after the signal, since handling them destroys the camera.
    // A call already queued when its camera is torn down is dropped by the pipeline count.
    connect(
        camera_, &QCamera::activeChanged, this,
        [this, pipeline = pipelines_](bool active) {
            if (!active && pipeline == pipelines_)
                lost("the camera stopped");
        },
        Qt::QueuedConnection);
    connect(
        camera_, &QCamera::errorOccurred, this,
        [this, pipeline = pipelines_](QCamera::Error, const QString& text) {
            if (pipeline == pipelines_)
                lost(text.isEmpty() ? std::string("camera failure") : text.toStdString());
        },
        Qt::QueuedConnection);
}

void QtCameraSource::tearDown() {
    if (!camera_)
        return;
    disconnect(sink_, nullptr, this, nullptr);
    disconnect(camera_, nullptr, this, nullptr);
    // The errors this pipeline has posted so far are heard no more; those of the next are,
    // once the mailbox has delivered everything posted before this point.
    QPointer<QtCameraSource> self(this);
    mainThreadMailbox().post([self, next = pipelines_ + 1] {
        if (self)
            self->pipelineHeard_ = next;
    });
    camera_->stop();
    delete capture_;
    delete camera_;
    delete sink_;
    capture_ = nullptr;
    camera_ = nullptr;
    sink_ = nullptr;
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
    delivered_ = false;
    camera_->start();
    // Qt 6.4 runs the camera from setCamera() on, before start(): an error (a busy device) can
    // come before the start, and is kept for it.
    if (camera_->error() != QCamera::NoError)
        lost(camera_->errorString().toStdString());
    else if (!pipelineError_.empty())
        errorGrace_->start();
}

void QtCameraSource::stop() {
    started_ = false;
    recovering_ = false;
    for (QTimer* timer : {errorGrace_, retry_, deadline_})
        timer->stop();
    if (camera_)
        camera_->stop();
}

void QtCameraSource::onFrame(const QVideoFrame& frame) {
    if (!started_)
        return;
    if (recovering_) {
        recovering_ = false;
        deadline_->stop();
    }
    delivered_ = true;
    Q_EMIT frameArrived(frame);
}

void QtCameraSource::onPipelineError(const QString& message) {
    // The first error of a pipeline says what went wrong; the element does not recover from
    // it, and what follows is its consequences.
    if (pipelineHeard_ != pipelines_ || !camera_ || !pipelineError_.empty())
        return;
    pipelineError_ = message.toStdString();
    if (started_)
        errorGrace_->start();
}

bool QtCameraSource::devicePresent() const {
    for (const QCameraDevice& input : QMediaDevices::videoInputs()) {
        if (input.id() == device_.id())
            return true;
    }
    return false;
}

void QtCameraSource::lost(const std::string& reason) {
    if (!started_)
        return;
    errorGrace_->stop();
    if (!delivered_) {
        // Never ran since Start: the start fails, as it says.
        fail(reason);
        return;
    }
    tearDown();
    if (!recovering_) {
        recovering_ = true;
        lostReason_ = reason;
        deadline_->start(startTimeout_);
        Q_EMIT interrupted(reason);
    }
    retry_->start(); // also sooner, when the list of cameras changes
}

void QtCameraSource::reopen() {
    if (!started_ || !recovering_ || camera_)
        return;
    const QCameraDevice again = sameCamera(QMediaDevices::videoInputs(), device_);
    if (again.isNull())
        return; // not back yet: the list will change when it is
    retry_->stop();
    build(again);
    camera_->start();
    if (camera_->error() != QCamera::NoError)
        lost(camera_->errorString().toStdString());
}

void QtCameraSource::fail(const std::string& reason) {
    if (!started_)
        return;
    stop();
    Q_EMIT failed(reason);
}

} // namespace palmcue::camera
