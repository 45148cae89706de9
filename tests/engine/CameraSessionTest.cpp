// SPDX-License-Identifier: Apache-2.0
// Permission, start and stop of the capture session, against a fake camera.
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"
#include "support/SharedData.h"

#include <QSignalSpy>
#include <QThread>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <thread>

using namespace palmcue;
using namespace palmcue::test;

namespace {

struct SessionFixture : ::testing::Test {
    FakeClock clock;
    FakeLauncher launcher;
    FakeCamera camera;
    HandDetector detector{{std::make_shared<FakeHandPose>(), &camera, &launcher, &clock}};

    bool waitRunning() {
        return waitUntil([&] { return detector.isDetecting(); });
    }
};

} // namespace

TEST_F(SessionFixture, StartWithoutPermissionAsksForItAndStaysIdle) {
    camera.authorization = CameraAuthorization::Denied;
    detector.start();
    EXPECT_EQ(detector.statusText(), "Camera access denied - grant permission first");
    EXPECT_EQ(camera.requests, 1);
    EXPECT_EQ(detector.captureSession(), nullptr);
    EXPECT_EQ(detector.previewLayer(), nullptr);

    // The answer comes on another thread and lands on the main thread; it does not start.
    std::thread answer([&] { camera.pendingAnswer(true); });
    answer.join();
    ASSERT_TRUE(waitUntil([&] { return detector.cameraAuthorized(); }));
    EXPECT_FALSE(detector.isDetecting());
    EXPECT_EQ(detector.captureSession(), nullptr);
}

TEST_F(SessionFixture, BuildFailuresBecomeTheStatus) {
    camera.buildFailure = failure(CameraFault::NoCamera, "no camera is connected");
    detector.start();
    EXPECT_EQ(detector.statusText(), "No camera found");
    EXPECT_EQ(detector.captureSession(), nullptr);
    camera.buildFailure = failure(CameraFault::CameraError, "cannot add the camera input");
    detector.start();
    EXPECT_EQ(detector.statusText(), "Camera error: cannot add the camera input");
    EXPECT_FALSE(detector.isDetecting());
    camera.buildFailure =
        failure(CameraFault::NoColourCamera, "IR Camera gives greyscale (infrared) pictures only");
    detector.start();
    EXPECT_EQ(detector.statusText(),
              "No colour camera found: IR Camera gives greyscale (infrared) pictures only");
    EXPECT_EQ(detector.captureSession(), nullptr);
}

TEST_F(SessionFixture, StartsInTheBackgroundAndReportsRunningOnTheMainThread) {
    detector.start();
    // Right after start(): the handles are set but the session is not yet reported running.
    ASSERT_NE(detector.captureSession(), nullptr);
    EXPECT_EQ(detector.previewLayer(), &camera.lastSession->preview);
    EXPECT_FALSE(detector.isDetecting());
    EXPECT_EQ(camera.lastSession->delegate, &detector);
    EXPECT_EQ(camera.lastSession->queue, &detector.detectQueue());

    ASSERT_TRUE(waitRunning());
    EXPECT_EQ(detector.statusText(), "Camera active - show your hand");
    EXPECT_EQ(detector.debugInfo(), "Session running: true");

    detector.start(); // already running: nothing happens
    EXPECT_EQ(camera.lastSession->startCalls, 1);
}

TEST_F(SessionFixture, ASessionThatFailsToStartIsNotReportedRunning) {
    camera.sessionStarts = false;
    detector.start();
    ASSERT_TRUE(waitUntil([&] { return detector.statusText().startsWith("Camera error"); }));
    EXPECT_EQ(detector.statusText(), "Camera error: device busy");
    EXPECT_FALSE(detector.isDetecting());
    EXPECT_EQ(detector.captureSession(), nullptr);
    EXPECT_EQ(detector.previewLayer(), nullptr);
}

TEST_F(SessionFixture, StopWhileStartingCancelsTheRunningReport) {
    detector.start();
    detector.start(); // a second start while starting is ignored
    EXPECT_EQ(camera.builds, 1);
    detector.stop();
    EXPECT_EQ(detector.statusText(), "Stopped");
    // Let the background start finish and its report arrive.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_FALSE(detector.isDetecting());
    EXPECT_EQ(detector.statusText(), "Stopped");
}

TEST_F(SessionFixture, StopResetsDetectionStateButKeepsLogAndCooldowns) {
    detector.start();
    ASSERT_TRUE(waitRunning());
    detector.updateHold(1);
    clock.advance(1.0);
    detector.updateHold(1); // launches
    ASSERT_EQ(detector.launchLog().size(), 1u);
    detector.updateHold(2);

    detector.stop();
    EXPECT_FALSE(detector.isDetecting());
    EXPECT_EQ(detector.captureSession(), nullptr);
    EXPECT_EQ(detector.previewLayer(), nullptr);
    EXPECT_FALSE(detector.detectedFinger());
    EXPECT_EQ(detector.holdProgress(), 0.0);
    EXPECT_FALSE(detector.holdStart(2));
    EXPECT_EQ(detector.statusText(), "Stopped");
    EXPECT_TRUE(detector.debugInfo().isEmpty());
    EXPECT_EQ(detector.launchLog().size(), 1u);
    EXPECT_TRUE(detector.lastLaunch(1));
}

TEST_F(SessionFixture, CameraLostWhileRunningStopsDetection) {
    detector.start();
    ASSERT_TRUE(waitRunning());
    detector.updateHold(1);
    clock.advance(1.0);
    detector.updateHold(1);
    camera.lastSession->failureHandler("camera unplugged");
    EXPECT_FALSE(detector.isDetecting());
    EXPECT_EQ(detector.captureSession(), nullptr);
    EXPECT_EQ(detector.statusText(), "Camera error: camera unplugged");
    EXPECT_EQ(detector.launchLog().size(), 1u);
}

TEST_F(SessionFixture, AnInterruptedCameraIsWaitedForWithNothingHeld) {
    detector.start();
    ASSERT_TRUE(waitRunning());
    FakeSession& session = *camera.lastSession;
    detector.updateHold(1);
    clock.advance(0.5);
    detector.updateHold(1);
    ASSERT_GT(detector.holdProgress(), 0.0);

    session.interruptionHandler("the camera was disconnected");
    EXPECT_EQ(detector.statusText(), "Waiting for the camera: the camera was disconnected");
    EXPECT_TRUE(detector.isDetecting());
    EXPECT_EQ(detector.captureSession(), &session);
    EXPECT_FALSE(detector.detectedFinger());
    EXPECT_EQ(detector.holdProgress(), 0.0);
    EXPECT_FALSE(detector.holdStart(1));
    EXPECT_TRUE(detector.debugInfo().isEmpty());

    session.interruptionHandler(std::nullopt);
    EXPECT_EQ(detector.statusText(), "Camera active - show your hand");
    EXPECT_EQ(detector.debugInfo(), "Session running: true");

    // A stopped session's word comes too late to change anything.
    const auto lateWord = session.interruptionHandler;
    detector.stop();
    lateWord("the camera was disconnected");
    EXPECT_EQ(detector.statusText(), "Stopped");
}
