// SPDX-License-Identifier: Apache-2.0
// Hand-driven fakes of the engine's services.
#pragma once

#include "engine/Services.h"
#include "support/FakePreviewLayer.h"
#include "support/QtPrinters.h"

#include <QObject>
#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace palmcue::test {

// A monotonic clock that moves only when told to.
// The log time is the time advanced so far, as hh:mm:ss.
class FakeClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return kStart + offset_; }
    std::string logTimeText() const override {
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(offset_).count();
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(s / 3600 % 24),
                      static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
        return text;
    }
    void advance(double seconds) {
        offset_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
    }

private:
    static constexpr std::chrono::steady_clock::time_point kStart{std::chrono::hours(1000)};
    std::chrono::steady_clock::duration offset_{};
};

class FakeLauncher : public ApplicationLauncher {
public:
    Result<void, Fault> open(const std::string& appName,
                             std::function<void(const std::string&)> failedLater) override {
        opened.push_back(appName);
        lastFailedLater = std::move(failedLater);
        return next;
    }
    Result<void, Fault> next; // opened
    std::vector<std::string> opened;
    std::function<void(const std::string&)> lastFailedLater;
};

// A BGRA picture of fixed size; enough for the engine, which only passes it on.
class FakePixelBuffer : public PixelBuffer {
public:
    explicit FakePixelBuffer(bool convertible = true) : convertible_(convertible) {}
    Result<ImageView> bgra(std::vector<std::uint8_t>&) const override {
        if (!convertible_)
            return failure("unsupported frame format");
        return ImageView{pixels_.data(), 2, 2, 8};
    }

private:
    bool convertible_;
    std::array<std::uint8_t, 16> pixels_{};
};

inline SampleBuffer frameWithImage() {
    return {std::make_shared<FakePixelBuffer>()};
}
inline SampleBuffer frameWithoutImage() {
    return {};
}

inline HandPoseResult noHands() {
    return std::vector<HandObservation>{};
}
inline HandPoseResult oneHand(HandObservation hand) {
    return std::vector<HandObservation>{std::move(hand)};
}
inline HandPoseResult performError(std::string description) {
    return failure(HandPoseFault::PerformFailed, std::move(description));
}
inline HandPoseResult requestError(std::string description) {
    return failure(HandPoseFault::RequestFailed, std::move(description));
}

// Returns the queued results in order, then the fallback. Runs on the detection thread; the
// test thread only sets it up before frames flow.
class FakeHandPose : public HandPoseService {
public:
    HandPoseResult detect(const ImageView&, int maximumHandCount) override {
        lastMaximumHandCount = maximumHandCount;
        ++calls;
        if (!script.empty()) {
            HandPoseResult next = script.front();
            script.pop_front();
            return next;
        }
        return fallback;
    }
    void reset() override { resetsBeforeCall.push_back(calls.load()); }
    std::deque<HandPoseResult> script;
    // For each reset(), how many detect() calls came before it; detection thread only.
    std::vector<int> resetsBeforeCall;
    HandPoseResult fallback = noHands();
    std::atomic<int> calls{0};
    std::atomic<int> lastMaximumHandCount{0};
};

// An upright right hand, palm to the camera, with the given fingers extended; every joint
// confident. Coordinates are normalised with the origin at the lower left.
HandObservation syntheticHand(const std::array<bool, 5>& raised, double rotationDegrees = 0.0,
                              bool mirrored = false, float confidence = 0.9f);

class FakeSession : public CaptureSession {
public:
    void setSampleBufferDelegate(SampleBufferDelegate* d, SerialQueue* q) override {
        delegate = d;
        queue = q;
    }
    Result<void> startRunning() override {
        startCalls.fetch_add(1);
        running = startSucceeds;
        if (!startSucceeds)
            return failure(startError);
        return {};
    }
    void stopRunning() override {
        ++stopCalls;
        running = false;
    }
    bool isRunning() const override { return running; }
    LivePreview* previewLayer() override { return &preview; }
    void setFailureHandler(std::function<void(const std::string&)> handler) override {
        failureHandler = std::move(handler);
    }
    void setInterruptionHandler(
        std::function<void(const std::optional<std::string>&)> handler) override {
        interruptionHandler = std::move(handler);
    }

    SampleBufferDelegate* delegate = nullptr;
    SerialQueue* queue = nullptr;
    bool startSucceeds = true;
    std::string startError = "device busy";
    std::atomic<bool> running{false};
    std::atomic<int> startCalls{0};
    int stopCalls = 0;
    FakePreviewLayer preview;
    std::function<void(const std::string&)> failureHandler;
    std::function<void(const std::optional<std::string>&)> interruptionHandler;
};

class FakeCamera : public CameraService {
public:
    CameraAuthorization authorizationStatus() override { return authorization; }
    // Keeps the answer for the test to give, unless answerAtOnce says what to answer.
    void requestAccess(std::function<void(bool)> answer) override {
        ++requests;
        if (answerAtOnce) {
            if (*answerAtOnce)
                authorization = CameraAuthorization::Authorized;
            answer(*answerAtOnce);
            return;
        }
        pendingAnswer = std::move(answer);
    }
    SessionBuild makeSession() override {
        ++builds;
        if (buildFailure)
            return *buildFailure;
        auto session = std::make_unique<FakeSession>();
        session->startSucceeds = sessionStarts;
        lastSession = session.get();
        return session;
    }

    CameraAuthorization authorization = CameraAuthorization::Authorized;
    std::optional<Failure<CameraFault>> buildFailure;
    bool sessionStarts = true;
    std::optional<bool> answerAtOnce;
    int requests = 0;
    int builds = 0;
    std::function<void(bool)> pendingAnswer;
    FakeSession* lastSession = nullptr; // owned by the detector while it runs
};

} // namespace palmcue::test
