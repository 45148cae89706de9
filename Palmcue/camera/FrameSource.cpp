#include "camera/FrameSource.h"

#include "camera/FramePixelBuffer.h"
#include "engine/Mailbox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>

namespace palmcue::camera {

FrameSource::FrameSource(std::chrono::milliseconds startTimeout)
    : startTimeout_(startTimeout), preview_(new PreviewLayer(this)) {
    mainThreadMailbox(); // created on this, the main thread, before a start posts to it
}

void FrameSource::postToMainThread(std::function<void()> task) {
    // The mailbox, not a queued functor: the hand-over stays visible to ThreadSanitizer.
    QPointer<FrameSource> self(this);
    mainThreadMailbox().post([self, task = std::move(task)] {
        if (self)
            task();
    });
}

FrameSource::~FrameSource() {
    // Frames already posted must not reach a delegate that was never detached.
    delivery_.setTarget(nullptr, nullptr);
}

void FrameSource::setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue) {
    delivery_.setTarget(delegate, queue);
}

void FrameSource::setFailureHandler(std::function<void(const std::string& reason)> handler) {
    failureHandler_ = std::move(handler);
}

bool FrameSource::startRunning(std::string& error) {
    const bool onOwnThread = QThread::currentThread() == thread();
    // Only the main thread writes startError_, and only while the state is Starting.
    startError_.clear();
    State expected = State::Idle;
    if (!state_.compare_exchange_strong(expected, State::Starting, std::memory_order_acq_rel)) {
        expected = State::Failed;
        if (!state_.compare_exchange_strong(expected, State::Starting, std::memory_order_acq_rel)) {
            if (expected == State::Active)
                return true;
            error = "the camera is already starting";
            return false;
        }
    }

    const auto begin = [this] {
        if (state_.load(std::memory_order_acquire) == State::Starting)
            beginRun();
    };
    if (onOwnThread)
        begin();
    else
        postToMainThread(begin);

    // Polls rather than blocking on the main thread, so that an application quitting while a
    // camera starts cannot deadlock: stopRunning() or the timeout always ends the wait.
    QDeadlineTimer deadline(startTimeout_);
    State state = state_.load(std::memory_order_acquire);
    while (state == State::Starting && !deadline.hasExpired()) {
        if (onOwnThread)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        else
            QThread::msleep(5);
        state = state_.load(std::memory_order_acquire);
    }

    switch (state) {
    case State::Active:
        return true;
    case State::Failed:
        error = startError_;
        return false;
    case State::Idle:
        error = "stopped while starting";
        return false;
    case State::Starting:
        break;
    }
    expected = State::Starting;
    if (!state_.compare_exchange_strong(expected, State::Idle, std::memory_order_acq_rel)) {
        // It started or failed just now.
        if (expected == State::Active)
            return true;
        error = expected == State::Failed ? startError_ : "stopped while starting";
        return false;
    }
    postToMainThread([this] {
        if (state_.load(std::memory_order_acquire) == State::Idle)
            endRun();
    });
    error = "did not start within " +
            QString::number(static_cast<double>(startTimeout_.count()) / 1000.0).toStdString() +
            " s";
    return false;
}

void FrameSource::stopRunning() {
    state_.store(State::Idle, std::memory_order_release);
    endRun();
    preview_->present(QVideoFrame());
}

void FrameSource::markActive() {
    State expected = State::Starting;
    state_.compare_exchange_strong(expected, State::Active, std::memory_order_acq_rel);
}

void FrameSource::reportFailure(const std::string& reason) {
    State state = state_.load(std::memory_order_acquire);
    if (state == State::Starting) {
        startError_ = reason;
        if (state_.compare_exchange_strong(state, State::Failed, std::memory_order_acq_rel))
            endRun();
        return;
    }
    if (state != State::Active ||
        !state_.compare_exchange_strong(state, State::Failed, std::memory_order_acq_rel))
        return;
    // Queued: the handler stops the session, which must not happen inside a producer callback
    // or a session method.
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            if (failureHandler_)
                failureHandler_(reason);
        },
        Qt::QueuedConnection);
}

void FrameSource::deliverFrame(const QVideoFrame& frame) {
    if (!isActive() || !frame.isValid())
        return;
    preview_->present(frame);
    if (delivery_.hasTarget())
        delivery_.deliver(SampleBuffer{FramePixelBuffer::capture(frame, *pool_)});
}

void FrameSource::deliverBuffer(std::shared_ptr<const PixelBuffer> buffer,
                                const QVideoFrame& preview) {
    if (!isActive())
        return;
    preview_->present(preview);
    delivery_.deliver(SampleBuffer{std::move(buffer)});
}

} // namespace palmcue::camera
