// The main-thread half of a capture session: runs a frame producer (a camera, a video file,
// a still image), tracks whether it is starting, running or has failed, and passes its frames
// to the preview and to the detection queue.
//
// It is a QObject living on the main thread; the CaptureSession handle the engine holds
// (FrameSession) forwards to it and, if released on another thread, has it deleted on the
// main thread, so that producer callbacks never meet a half-destroyed object.
#pragma once

#include "camera/BufferPool.h"
#include "camera/FrameDelivery.h"
#include "camera/PreviewLayer.h"
#include "engine/Services.h"

#include <QObject>
#include <QVideoFrame>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace palmcue::camera {

class FrameSource : public QObject {
    Q_OBJECT

public:
    ~FrameSource() override;

    // CaptureSession operations; threads as CaptureSession documents them.
    void setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue);
    // Blocks until the producer runs, fails, is stopped, or the start timeout passes. Meant
    // for a worker thread; on the main thread it runs the event loop while it waits.
    bool startRunning(std::string& error);
    void stopRunning();
    bool isRunning() const { return state_.load(std::memory_order_acquire) == State::Active; }
    // Between startRunning() and the producer's answer; any thread.
    bool isStarting() const { return state_.load(std::memory_order_acquire) == State::Starting; }
    PreviewLayer* previewLayer() { return preview_; }
    void setFailureHandler(std::function<void(const std::string& reason)> handler);

protected:
    explicit FrameSource(std::chrono::milliseconds startTimeout);

    // Main thread. beginRun starts the producer, which then calls markActive() once it really
    // runs, or reportFailure(). endRun stops it; it may be called when it is not running, and
    // the derived destructor must call stopRunning().
    virtual void beginRun() = 0;
    virtual void endRun() = 0;

    void markActive();
    // Main thread. While starting: the start fails with `reason`. While running: the failure
    // handler gets `reason`, later, from the event loop. Otherwise ignored.
    void reportFailure(const std::string& reason);
    bool isActive() const { return isRunning(); }

    // Main thread. Passes a frame on if the session is running: frames before the start (a
    // camera's placeholder) and after a stop are ignored.
    void deliverFrame(const QVideoFrame& frame);
    void deliverBuffer(std::shared_ptr<const PixelBuffer> buffer, const QVideoFrame& preview);

private:
    enum class State : int { Idle, Starting, Active, Failed };

    // From a thread other than the main one: runs `task` there, unless this source is gone.
    void postToMainThread(std::function<void()> task);

    std::atomic<State> state_{State::Idle};
    std::string startError_; // written on the main thread before state_ becomes Failed
    const std::chrono::milliseconds startTimeout_;
    std::function<void(const std::string&)> failureHandler_;
    FrameDelivery delivery_;
    std::shared_ptr<BufferPool> pool_ = BufferPool::create();
    PreviewLayer* preview_; // child
};

} // namespace palmcue::camera
