#include "camera/QtCameraSource.h"

#include <QCamera>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QVideoSink>

namespace palmcue::camera {

QtCameraSource::QtCameraSource(const QCameraDevice& device, std::chrono::milliseconds startTimeout)
    : FrameSource(startTimeout), device_(device), camera_(new QCamera(device, this)),
      capture_(new QMediaCaptureSession(this)), sink_(new QVideoSink(this)),
      devices_(new QMediaDevices(this)) {
    capture_->setCamera(camera_);
    capture_->setVideoSink(sink_);

    // The backend may hand frames over on its own thread: `this` as context queues them to
    // the main thread, where the preview and the plane copy happen.
    connect(sink_, &QVideoSink::videoFrameChanged, this,
            [this](const QVideoFrame& frame) { deliverFrame(frame); });
    connect(camera_, &QCamera::activeChanged, this, [this](bool active) {
        if (active)
            markActive();
        else if (isActive())
            reportFailure("the camera stopped");
    });
    connect(camera_, &QCamera::errorOccurred, this, [this](QCamera::Error, const QString& text) {
        reportFailure(text.isEmpty() ? std::string("camera failure") : text.toStdString());
    });
    connect(devices_, &QMediaDevices::videoInputsChanged, this,
            &QtCameraSource::checkDevicePresent);
}

QtCameraSource::~QtCameraSource() {
    stopRunning();
    // Unhooked before the children go, so that no signal reaches a half-destroyed source.
    disconnect(sink_, nullptr, this, nullptr);
    disconnect(camera_, nullptr, this, nullptr);
    disconnect(devices_, nullptr, this, nullptr);
    delete capture_;
    delete camera_;
}

std::optional<std::string> QtCameraSource::buildError() const {
    if (camera_->error() != QCamera::NoError)
        return camera_->errorString().toStdString();
    if (capture_->camera() != camera_)
        return std::string("the camera input could not be added");
    if (capture_->videoSink() != sink_)
        return std::string("the frame output could not be added");
    return std::nullopt;
}

void QtCameraSource::beginRun() {
    camera_->start();
    if (camera_->error() != QCamera::NoError)
        reportFailure(camera_->errorString().toStdString());
    else if (camera_->isActive())
        markActive();
}

void QtCameraSource::endRun() {
    camera_->stop();
}

void QtCameraSource::checkDevicePresent() {
    for (const QCameraDevice& input : QMediaDevices::videoInputs()) {
        if (input.id() == device_.id())
            return;
    }
    reportFailure("the camera was disconnected");
}

} // namespace palmcue::camera
