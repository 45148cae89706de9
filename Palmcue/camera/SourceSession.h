// SPDX-License-Identifier: Apache-2.0
// The CaptureSession of this folder: runs one FrameSource, counts it as running from its first
// frame, turns its faults into a failed start or a failure report, and passes its frames to
// the preview layer and, through the video data output, to the detection queue. While running
// it watches the picture: a pause is reported as an interruption after kQuietNotice, and ends
// in a failure after the start timeout, unless the source is waiting for its camera itself.
//
// A QObject of the main thread, where it must also be destroyed (the engine releases its
// sessions there). Everything runs on the main thread except startRunning(), which blocks a
// worker thread until the main thread knows how the start went (see StartAttempt).
#pragma once

#include "camera/FrameSource.h"
#include "camera/PreviewLayer.h"
#include "camera/StartAttempt.h"
#include "camera/VideoDataOutput.h"
#include "engine/Services.h"

#include <QElapsedTimer>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace palmcue::camera {

class SourceSession : public QObject, public CaptureSession {
    Q_OBJECT

public:
    explicit SourceSession(std::unique_ptr<FrameSource> source);
    ~SourceSession() override;

    void setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue) override;
    // Never on the main thread: the start is decided there.
    Result<void> startRunning() override;
    void stopRunning() override;
    bool isRunning() const override { return state_ == State::Running; }
    LivePreview* previewLayer() override { return preview_; }
    void setFailureHandler(std::function<void(const std::string& reason)> handler) override;
    void setInterruptionHandler(
        std::function<void(const std::optional<std::string>& reason)> handler) override;
    std::string activeFormat() const override;

    // Main thread: a start has begun and is waiting for the first frame.
    bool isStarting() const { return state_ == State::Starting; }
    // Any thread: whether startRunning() has been called.
    bool startRequested() const { return startRequested_.load(std::memory_order_acquire); }

    // How long the picture may stop before the wait is reported.
    static constexpr std::chrono::milliseconds kQuietNotice{2000};

private:
    enum class State { Idle, Starting, Running, Failed };
    static constexpr std::chrono::milliseconds kWatchEvery{500};

    void begin();
    void abandon();
    void onFrame(const QVideoFrame& frame);
    void onPicture(std::shared_ptr<const PixelBuffer> buffer, const QVideoFrame& preview);
    void onFailure(const std::string& reason);
    void onInterrupted(const std::string& reason);
    // Whether frames are taken now; the first frame of a start makes the session run.
    bool acceptsFrame();
    void watchPicture();
    void interrupt(std::optional<std::string> reason);

    std::unique_ptr<FrameSource> source_;
    State state_ = State::Idle;
    // A session starts once: the engine builds a new one for every Start, and a stop is final.
    // The attempt is made here, on the main thread, so that a stop can answer it even before
    // the worker's start has begun.
    const std::shared_ptr<StartAttempt> start_ = std::make_shared<StartAttempt>();
    std::atomic<bool> startRequested_{false};
    bool stopped_ = false;
    std::function<void(const std::string&)> failureHandler_;
    std::function<void(const std::optional<std::string>&)> interruptionHandler_;
    QTimer* watch_; // child; runs while Running
    QElapsedTimer sinceFrame_;
    QElapsedTimer sinceWatch_;
    bool interrupted_ = false;   // an interruption is reported and not yet over
    bool sourceWaiting_ = false; // the source waits for its camera, with its own deadline
    VideoDataOutput output_;
    PreviewLayer* preview_; // child
};

} // namespace palmcue::camera
