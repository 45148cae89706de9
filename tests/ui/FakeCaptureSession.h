// A capture session that starts at once and never delivers frames by itself.
#pragma once

#include "FakePreviewLayer.h"
#include "engine/Services.h"

#include <atomic>

namespace palmcue::test {

class FakeCaptureSession : public CaptureSession {
public:
    void setSampleBufferDelegate(SampleBufferDelegate*, SerialQueue*) override {}
    bool startRunning(std::string&) override {
        running_ = true;
        return true;
    }
    void stopRunning() override { running_ = false; }
    bool isRunning() const override { return running_; }
    QObject* previewLayer() override { return &layer; }
    void setFailureHandler(std::function<void(const std::string&)>) override {}

    FakePreviewLayer layer;

private:
    std::atomic<bool> running_{false};
};

} // namespace palmcue::test
