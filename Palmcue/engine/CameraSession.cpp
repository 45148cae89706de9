// SPDX-License-Identifier: Apache-2.0
// Camera permission and the capture session's start and stop.
#include "engine/HandDetector.h"
#include "engine/Mailbox.h"

namespace palmcue {

void HandDetector::checkPermission() {
    setCameraAuthorized(services_.camera->authorizationStatus() == CameraAuthorization::Authorized);
}

void HandDetector::requestPermission() {
    QPointer<HandDetector> self(this);
    services_.camera->requestAccess([self](bool granted) {
        // Any thread: only hand the answer to the main thread.
        mainThreadMailbox().post([self, granted] {
            if (self)
                self->setCameraAuthorized(granted);
        });
    });
}

void HandDetector::start() {
    // A session that is still starting is not started twice.
    if (isDetecting_ || captureSession_)
        return;
    checkPermission();
    if (!cameraAuthorized_) {
        setStatusText(QStringLiteral("Camera access denied - grant permission first"));
        requestPermission();
        return;
    }
    SessionBuild build = services_.camera->makeSession();
    if (!build) {
        switch (build.fault()) {
        case CameraFault::NoCamera:
            setStatusText(QStringLiteral("No camera found"));
            break;
        case CameraFault::CameraError:
            setStatusText(QStringLiteral("Camera error: ") + QString::fromStdString(build.error()));
            break;
        case CameraFault::NoColourCamera:
            setStatusText(QStringLiteral("No colour camera found: ") +
                          QString::fromStdString(build.error()));
            break;
        }
        return;
    }
    std::shared_ptr<CaptureSession> session = std::move(*build);
    const std::uint64_t generation = ++sessionGeneration_;
    session->setSampleBufferDelegate(this, &detectQueue_);
    QPointer<HandDetector> self(this);
    session->setFailureHandler([self, generation](const std::string& reason) {
        if (self)
            self->sessionFailed(generation, reason);
    });
    session->setInterruptionHandler([self, generation](const std::optional<std::string>& reason) {
        if (self)
            self->sessionInterrupted(generation, reason);
    });
    setPreviewLayer(session->previewLayer());

    runInBackground([self, session, generation]() mutable {
        Result<void> started = session->startRunning();
        // The session goes back with the report so that it is released on the main thread.
        mainThreadMailbox().post(
            [self, session = std::move(session), generation, started = std::move(started)] {
                if (self)
                    self->sessionStarted(generation, started);
            });
    });
    captureSession_ = std::move(session);
}

void HandDetector::sessionStarted(std::uint64_t generation, const Result<void>& started) {
    if (generation != sessionGeneration_ || !captureSession_)
        return; // stopped, or superseded, while it was starting
    if (!started) {
        // A camera that did not start is not reported as running.
        captureSession_->setSampleBufferDelegate(nullptr, nullptr);
        captureSession_.reset();
        setPreviewLayer(nullptr);
        setStatusText(QStringLiteral("Camera error: ") + QString::fromStdString(started.error()));
        return;
    }
    setIsDetecting(true);
    setStatusText(cameraActiveStatus());
    setDebugInfo(sessionRunningInfo());
}

QString HandDetector::sessionRunningInfo() const {
    QString running =
        QStringLiteral("Session running: ") +
        (captureSession_->isRunning() ? QStringLiteral("true") : QStringLiteral("false"));
    if (const std::string format = captureSession_->activeFormat(); !format.empty())
        running += QStringLiteral(" (%1)").arg(QString::fromStdString(format));
    return running;
}

void HandDetector::sessionInterrupted(std::uint64_t generation,
                                      const std::optional<std::string>& reason) {
    if (generation != sessionGeneration_ || !captureSession_ || !isDetecting_)
        return;
    if (!reason) {
        setStatusText(cameraActiveStatus());
        setDebugInfo(sessionRunningInfo()); // the camera may be back in another format
        return;
    }
    // No hand is seen while there is no picture: nothing stays held, the last frame's debug
    // line goes, and the results of frames from before the wait are not published after it.
    detectionEpoch_.fetch_add(1, std::memory_order_acq_rel);
    setDetectedFinger(std::nullopt);
    resetHold();
    setFingerStates({});
    setDebugInfo(QString());
    setStatusText(QStringLiteral("Waiting for the camera: ") + QString::fromStdString(*reason));
}

void HandDetector::sessionFailed(std::uint64_t generation, const std::string& reason) {
    if (generation != sessionGeneration_ || !captureSession_)
        return;
    stop();
    setStatusText(QStringLiteral("Camera error: ") + QString::fromStdString(reason));
}

void HandDetector::stop() {
    if (captureSession_) {
        captureSession_->setSampleBufferDelegate(nullptr, nullptr);
        captureSession_->stopRunning();
    }
    ++sessionGeneration_;
    detectionEpoch_.fetch_add(1, std::memory_order_acq_rel);
    setIsDetecting(false);
    captureSession_.reset();
    setPreviewLayer(nullptr);
    setDetectedFinger(std::nullopt);
    setHoldProgress(0.0);
    holdStart_.fill(std::nullopt);
    setFingerStates({});
    setStatusText(QStringLiteral("Stopped"));
    setDebugInfo(QString());
}

} // namespace palmcue
