// SPDX-License-Identifier: Apache-2.0
#include "camera/SourceSession.h"

#include "camera/FramePixelBuffer.h"
#include "engine/Mailbox.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace palmcue::camera {
namespace {

std::string noPicture(std::chrono::milliseconds limit) {
    return "no picture within " + QString::number(limit.count() / 1000.0).toStdString() + " s";
}

} // namespace

SourceSession::SourceSession(std::unique_ptr<FrameSource> source)
    : source_(std::move(source)), watch_(new QTimer(this)), preview_(new PreviewLayer(this)) {
    mainThreadMailbox(); // created here, on the main thread, before a start posts to it
    connect(source_.get(), &FrameSource::frameArrived, this, &SourceSession::onFrame);
    connect(source_.get(), &FrameSource::pictureArrived, this, &SourceSession::onPicture);
    connect(source_.get(), &FrameSource::failed, this, &SourceSession::onFailure);
    connect(source_.get(), &FrameSource::interrupted, this, &SourceSession::onInterrupted);
    watch_->setInterval(kWatchEvery);
    connect(watch_, &QTimer::timeout, this, &SourceSession::watchPicture);
}

SourceSession::~SourceSession() {
    Q_ASSERT(QThread::currentThread() == thread()); // the source's signals arrive there
    stopRunning();
    // Frames already posted must not reach a delegate that was never detached.
    output_.setSampleBufferDelegate(nullptr, nullptr);
    disconnect(source_.get(), nullptr, this, nullptr);
}

void SourceSession::setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue) {
    output_.setSampleBufferDelegate(delegate, queue);
}

void SourceSession::setFailureHandler(std::function<void(const std::string& reason)> handler) {
    failureHandler_ = std::move(handler);
}

void SourceSession::setInterruptionHandler(
    std::function<void(const std::optional<std::string>& reason)> handler) {
    interruptionHandler_ = std::move(handler);
}

std::string SourceSession::activeFormat() const {
    return source_->formatDescription();
}

Result<void> SourceSession::startRunning() {
    if (QThread::currentThread() == thread())
        return failure("the camera start must not block the main thread");
    if (startRequested_.exchange(true, std::memory_order_acq_rel))
        return failure("the camera session was started before");
    QPointer<SourceSession> self(this);
    mainThreadMailbox().post([self, attempt = start_] {
        if (self)
            self->begin();
        else
            attempt->answer(failure("the camera session was closed"));
    });
    // The wait has its own deadline, so that it ends even if the main thread never answers.
    Result<void, StartAttempt::Fault> started = start_->wait(source_->startTimeout());
    if (started)
        return {};
    switch (started.fault()) {
    case StartAttempt::Fault::Failed:
        break;
    case StartAttempt::Fault::TimedOut:
        mainThreadMailbox().post([self] {
            if (self)
                self->abandon();
        });
        return failure(noPicture(source_->startTimeout()));
    }
    return failure(started.error());
}

void SourceSession::begin() {
    if (stopped_) {
        start_->answer(failure("stopped while starting"));
        return;
    }
    state_ = State::Starting;
    source_->start(); // may fail at once, through onFailure()
}

void SourceSession::abandon() {
    if (state_ != State::Starting)
        return;
    state_ = State::Idle;
    source_->stop();
}

void SourceSession::stopRunning() {
    // Final, and answered here rather than when the start reaches the main thread: a start
    // that has not got there yet (or never will, the program ending) learns of it at once.
    stopped_ = true;
    start_->answer(failure("stopped while starting"));
    state_ = State::Idle;
    watch_->stop();
    source_->stop();
    preview_->present(QVideoFrame());
}

bool SourceSession::acceptsFrame() {
    if (state_ == State::Starting) {
        state_ = State::Running;
        start_->answer({});
        watch_->start();
        sinceWatch_.start();
    }
    if (state_ != State::Running)
        return false;
    sinceFrame_.start();
    if (interrupted_)
        interrupt(std::nullopt);
    return true;
}

void SourceSession::watchPicture() {
    // A main thread held up elsewhere takes no frames either: after such a hold-up the camera
    // gets the benefit of the doubt, and the silence counts from now.
    if (sinceWatch_.restart() > 3 * kWatchEvery.count()) {
        sinceFrame_.start();
        return;
    }
    const std::chrono::milliseconds silence(sinceFrame_.elapsed());
    if (!interrupted_ && silence >= kQuietNotice)
        interrupt("the camera sends no picture");
    if (!sourceWaiting_ && silence >= source_->startTimeout()) {
        source_->stop();
        onFailure(noPicture(source_->startTimeout()));
    }
}

void SourceSession::interrupt(std::optional<std::string> reason) {
    interrupted_ = reason.has_value();
    if (!interrupted_)
        sourceWaiting_ = false;
    if (interruptionHandler_)
        interruptionHandler_(reason);
}

void SourceSession::onInterrupted(const std::string& reason) {
    if (state_ != State::Running)
        return;
    sourceWaiting_ = true;
    interrupt(reason);
}

void SourceSession::onFrame(const QVideoFrame& frame) {
    // Frames outside a start (a camera's placeholder, or one still queued after a stop) are
    // ignored.
    if (!frame.isValid() || !acceptsFrame())
        return;
    preview_->present(frame);
    if (output_.hasDelegate())
        output_.deliver(SampleBuffer{FramePixelBuffer::capture(frame)});
}

void SourceSession::onPicture(std::shared_ptr<const PixelBuffer> buffer,
                              const QVideoFrame& preview) {
    if (!acceptsFrame())
        return;
    preview_->present(preview);
    output_.deliver(SampleBuffer{std::move(buffer)});
}

void SourceSession::onFailure(const std::string& reason) {
    if (state_ == State::Starting) {
        state_ = State::Failed;
        source_->stop();
        start_->answer(failure(reason));
        return;
    }
    if (state_ != State::Running)
        return;
    state_ = State::Failed;
    watch_->stop();
    // Queued: the handler stops the session, which must not happen inside a source's signal.
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            if (failureHandler_)
                failureHandler_(reason);
        },
        Qt::QueuedConnection);
}

} // namespace palmcue::camera
