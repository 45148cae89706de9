#include "camera/FrameSession.h"

#include <QThread>

namespace palmcue::camera {

FrameSession::~FrameSession() {
    if (QThread::currentThread() == source_->thread())
        delete source_;
    else
        source_->deleteLater(); // its destructor stops the producer on the main thread
}

} // namespace palmcue::camera
