// SPDX-License-Identifier: Apache-2.0
// The live picture of a capture session, as the preview panel shows it: the panel hands over
// the video sink of its picture, and the session's frames appear there.
#pragma once

#include <QObject>

namespace palmcue {

class LivePreview : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Shows the frames in `videoSink` (a QVideoSink*, or null to detach). The sink may be
    // destroyed by QML at any time.
    Q_INVOKABLE virtual void attach(QObject* videoSink) = 0;
};

} // namespace palmcue
