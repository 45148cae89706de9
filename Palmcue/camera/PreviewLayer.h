// The live picture of a session for the preview panel. QML hands over the videoSink of its
// VideoOutput; the VideoOutput mirrors (x-scale -1) and crops to fill, as the two constant
// properties tell it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QVideoFrame>
#include <QVideoSink>

namespace palmcue::camera {

class PreviewLayer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool mirrored READ mirrored CONSTANT)
    Q_PROPERTY(bool aspectFill READ aspectFill CONSTANT)

public:
    explicit PreviewLayer(QObject* parent = nullptr) : QObject(parent) {}

    bool mirrored() const { return true; }
    bool aspectFill() const { return true; }

    // Shows the frames in `videoSink` (a QVideoSink*, or null to detach). The sink may be
    // destroyed by QML at any time.
    Q_INVOKABLE void attach(QObject* videoSink);

    // Main thread: shows `frame` in the attached sink; an invalid frame clears the picture.
    void present(const QVideoFrame& frame);

    QVideoSink* sink() const { return sink_; }

private:
    QPointer<QVideoSink> sink_;
    QVideoFrame lastFrame_; // shown at once in a sink attached between two frames
};

} // namespace palmcue::camera
