// A real camera through Qt Multimedia: QCamera into a QMediaCaptureSession, with a QVideoSink
// as the frame tap.
#pragma once

#include "camera/FrameSource.h"

#include <QCameraDevice>
#include <optional>

class QCamera;
class QMediaCaptureSession;
class QMediaDevices;
class QVideoSink;

namespace palmcue::camera {

class QtCameraSource : public FrameSource {
    Q_OBJECT

public:
    explicit QtCameraSource(const QCameraDevice& device,
                            std::chrono::milliseconds startTimeout = std::chrono::seconds(5));
    ~QtCameraSource() override;

    // Why the camera input or the frame output could not be set up, if they could not.
    std::optional<std::string> buildError() const;

protected:
    void beginRun() override;
    void endRun() override;

private:
    void checkDevicePresent();

    QCameraDevice device_;
    QCamera* camera_;
    QMediaCaptureSession* capture_;
    QVideoSink* sink_;
    QMediaDevices* devices_;
};

} // namespace palmcue::camera
