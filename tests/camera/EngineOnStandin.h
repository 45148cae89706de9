// SPDX-License-Identifier: Apache-2.0
// The engine (HandDetector) on the real camera path, QtCameraService and QtCameraSource, with
// the stand-in webcam, and what its tests share.
#pragma once

#include "RecordingHandPose.h"
#include "StandinFixture.h"
#include "camera/QtCameraService.h"
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"
#include "support/SharedData.h"

#include <QThreadPool>

namespace palmcue::camera::test {

inline const QString kActive = QStringLiteral("Camera active - show your hand");
// A loaded machine under a sanitizer; never reached when sound.
constexpr int kStartWaitMs = 20000;

class EngineOnStandin : public StandinCameraTest {
protected:
    void SetUp() override {
        StandinCameraTest::SetUp();
        connectDetector();
    }
    void TearDown() override {
        detector_.reset();
        // Starts still running on the pool wait for the main thread's events.
        palmcue::test::waitUntil(
            [] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }, 30000);
        StandinCameraTest::TearDown();
    }
    // A detector on the Qt camera service (by default the system's), with `pose` (by default a
    // hand with the index finger up in every frame) as its hand-pose detection.
    void connectDetector(std::shared_ptr<HandPoseService> pose = nullptr,
                         std::unique_ptr<QtCameraService> camera = nullptr) {
        detector_.reset();
        if (!pose)
            pose = recordingPose_;
        camera_ = camera ? std::move(camera) : std::make_unique<QtCameraService>();
        detector_ = std::make_unique<HandDetector>(
            DetectorServices{std::move(pose), camera_.get(), &launcher_, &clock_});
        QObject::connect(detector_.get(), &HandDetector::debugInfoChanged, detector_.get(),
                         [this] { debugLines_.append(detector_->debugInfo()); });
    }
    bool waitRunning() {
        return palmcue::test::waitUntil([&] { return detector_->isDetecting(); }, kStartWaitMs);
    }
    // Waits for `done`, moving the clock on while it waits so that holds complete.
    bool waitAdvancing(const std::function<bool()>& done, int timeoutMs = 5000) {
        return palmcue::test::waitUntil(
            [&] {
                clock_.advance(0.02);
                return done();
            },
            timeoutMs);
    }
    // Whether the detection queue gets no more frames.
    bool framesStopped() {
        std::atomic<bool> drained{false};
        detector_->detectQueue().post([&drained] { drained = true; });
        palmcue::test::waitUntil([&] { return drained.load(); });
        const auto before = detector_->frameCount();
        palmcue::test::waitUntil([] { return false; }, 300);
        return detector_->frameCount() == before;
    }
    static standin::CameraSetup heldFirstFrame() {
        standin::CameraSetup setup;
        setup.modes = {{standin::PixelFormat::NV12, 320, 180, {30}}};
        setup.holdFirstFrame = true;
        return setup;
    }

    std::unique_ptr<QtCameraService> camera_;
    palmcue::test::FakeClock clock_;
    palmcue::test::FakeLauncher launcher_;
    std::shared_ptr<test::RecordingHandPose> recordingPose_ =
        std::make_shared<test::RecordingHandPose>(
            palmcue::test::syntheticHand({false, true, false, false, false}));
    std::unique_ptr<HandDetector> detector_;
    QStringList debugLines_;
};

} // namespace palmcue::camera::test
