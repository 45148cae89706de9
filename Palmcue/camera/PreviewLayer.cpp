// SPDX-License-Identifier: Apache-2.0
#include "camera/PreviewLayer.h"

#include <QDebug>

namespace palmcue::camera {

void PreviewLayer::attach(QObject* videoSink) {
    auto* sink = qobject_cast<QVideoSink*>(videoSink);
    if (videoSink && !sink)
        qWarning() << "PreviewLayer.attach: not a QVideoSink:" << videoSink;
    sink_ = sink;
    if (sink_ && lastFrame_.isValid())
        sink_->setVideoFrame(lastFrame_);
}

void PreviewLayer::present(const QVideoFrame& frame) {
    lastFrame_ = frame;
    if (sink_)
        sink_->setVideoFrame(frame);
}

} // namespace palmcue::camera
