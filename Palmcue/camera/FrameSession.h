// The CaptureSession the engine holds: a handle on a FrameSource that lives on the main
// thread. The engine may release its last reference on a worker thread; the source is then
// deleted later on the main thread instead of under a running producer callback.
#pragma once

#include "camera/FrameSource.h"
#include "engine/Services.h"

namespace palmcue::camera {

class FrameSession : public CaptureSession {
public:
    // Takes ownership of `source`.
    explicit FrameSession(FrameSource* source) : source_(source) {}
    ~FrameSession() override;

    FrameSession(const FrameSession&) = delete;
    FrameSession& operator=(const FrameSession&) = delete;

    void setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue) override {
        source_->setSampleBufferDelegate(delegate, queue);
    }
    bool startRunning(std::string& error) override { return source_->startRunning(error); }
    void stopRunning() override { source_->stopRunning(); }
    bool isRunning() const override { return source_->isRunning(); }
    QObject* previewLayer() override { return source_->previewLayer(); }
    void setFailureHandler(std::function<void(const std::string& reason)> handler) override {
        source_->setFailureHandler(std::move(handler));
    }

    FrameSource* source() const { return source_; }

private:
    FrameSource* source_;
};

} // namespace palmcue::camera
