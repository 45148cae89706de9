#include "camera/SourceSession.h"

#include "camera/FramePixelBuffer.h"
#include "engine/Mailbox.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace palmcue::camera {

SourceSession::SourceSession(std::unique_ptr<FrameSource> source)
    : source_(std::move(source)), preview_(new PreviewLayer(this)) {
    mainThreadMailbox(); // created here, on the main thread, before a start posts to it
    connect(source_.get(), &FrameSource::frameArrived, this, &SourceSession::onFrame);
    connect(source_.get(), &FrameSource::pictureArrived, this, &SourceSession::onPicture);
    connect(source_.get(), &FrameSource::failed, this, &SourceSession::onFailure);
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

std::string SourceSession::activeFormat() const {
    return source_->formatDescription();
}

Result<void> SourceSession::startRunning() {
    if (QThread::currentThread() == thread())
        return failure("the camera start must not block the main thread");
    auto attempt =
        std::make_shared<StartAttempt>(startRequests_.fetch_add(1, std::memory_order_acq_rel) + 1);
    QPointer<SourceSession> self(this);
    mainThreadMailbox().post([self, attempt] {
        if (self)
            self->begin(attempt);
        else
            attempt->answer(failure("the camera session was closed"));
    });
    // The wait has its own deadline, so that it ends even if the main thread never answers
    // (the application quitting while a camera starts).
    Result<void, StartAttempt::Fault> started = attempt->wait(source_->startTimeout());
    if (started)
        return {};
    switch (started.fault()) {
    case StartAttempt::Fault::Failed:
        break;
    case StartAttempt::Fault::TimedOut:
        mainThreadMailbox().post([self, attempt] {
            if (self)
                self->abandon(attempt);
        });
        return failure("no picture within " +
                       QString::number(source_->startTimeout().count() / 1000.0).toStdString() +
                       " s");
    }
    return failure(started.error());
}

void SourceSession::begin(const std::shared_ptr<StartAttempt>& attempt) {
    if (attempt->number() <= cancelledRequests_) {
        attempt->answer(failure("stopped while starting"));
        return;
    }
    switch (state_) {
    case State::Running:
        attempt->answer({});
        return;
    case State::Starting:
        attempt->answer(failure("the camera is already starting"));
        return;
    case State::Idle:
    case State::Failed:
        break;
    }
    state_ = State::Starting;
    attempt_ = attempt;
    source_->start(); // may fail at once, through onFailure()
}

void SourceSession::abandon(const std::shared_ptr<StartAttempt>& attempt) {
    if (attempt_ != attempt || state_ != State::Starting)
        return;
    attempt_.reset();
    state_ = State::Idle;
    source_->stop();
}

void SourceSession::answerStart(Result<void> started) {
    if (attempt_)
        attempt_->answer(std::move(started));
    attempt_.reset();
}

void SourceSession::stopRunning() {
    // A start requested but not begun yet is cancelled too.
    cancelledRequests_ = startRequests_.load(std::memory_order_acquire);
    answerStart(failure("stopped while starting"));
    state_ = State::Idle;
    source_->stop();
    preview_->present(QVideoFrame());
}

bool SourceSession::acceptsFrame() {
    if (state_ == State::Starting) {
        state_ = State::Running;
        answerStart({});
    }
    return state_ == State::Running;
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
        answerStart(failure(reason));
        return;
    }
    if (state_ != State::Running)
        return;
    state_ = State::Failed;
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
