// SPDX-License-Identifier: Apache-2.0
// The engine (HandDetector) on the real camera path, QtCameraService and QtCameraSource, with
// the stand-in webcam: the start and its format, a held photo that launches, a camera that is
// busy, slow, unplugged and plugged back, and two cameras.
#include "EngineOnStandin.h"
#include "handpose/MediaPipeHandPose.h"

#include <QFileInfo>

namespace palmcue::camera::test {
namespace {

using palmcue::test::waitUntil;
using standin::PixelFormat;

class QtCameraEngineTest : public EngineOnStandin {};

TEST_F(QtCameraEngineTest, AHeldPhotoOfOneFingerLaunchesItsApp) {
    PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
    const QString photo = *palmcue::test::sharedHandsDir() + QStringLiteral("/one_hagrid_01.jpg");
    if (!QFileInfo::exists(photo))
        GTEST_SKIP() << "one_hagrid_01.jpg is not in ../shared/hands";
    auto pose =
        std::make_shared<handpose::MediaPipeHandPose>(handpose::MediaPipeHandPose::Options{});
    if (const Result<void> loaded = pose->load(); !loaded)
        GTEST_SKIP() << "the hand models are not present: " << loaded.error();
    connectDetector(pose);

    standin::CameraSetup setup; // the typical webcam's formats
    setup.picture = photo.toStdString();
    plug(setup);
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    EXPECT_EQ(detector_->statusText(), kActive);
    // The smallest 30 fps mode of 480 lines, raw, asked for and delivered.
    EXPECT_TRUE(debugLines_.contains(QStringLiteral("Session running: true (640x480 YUYV 30 fps)")))
        << debugLines_.join(QLatin1Char('|')).toStdString();
    const auto negotiated = standin::negotiated(setup.path);
    ASSERT_TRUE(negotiated);
    EXPECT_EQ(negotiated->format, PixelFormat::YUY2);
    EXPECT_EQ(negotiated->width, 640);
    EXPECT_EQ(negotiated->height, 480);
    EXPECT_EQ(negotiated->framesPerSecond, 30);

    ASSERT_TRUE(waitAdvancing([&] { return !launcher_.opened.empty(); }, 60000))
        << detector_->debugInfo().toStdString();
    EXPECT_EQ(launcher_.opened.front(), detector_->mapping(1).toStdString());
    ASSERT_FALSE(detector_->launchLog().empty());
    EXPECT_EQ(detector_->launchLog().front().fingerName, QStringLiteral("Index"));
    detector_->stop();
    EXPECT_TRUE(framesStopped());
}

TEST_F(QtCameraEngineTest, UnpluggedForLongerThanTheLimitStopsAndStartsAgainOncePluggedBack) {
    connectDetector(nullptr, std::make_unique<QtCameraService>(CameraPermission(), std::nullopt,
                                                               std::chrono::milliseconds(1500)));
    standin::CameraSetup setup;
    setup.modes = {{PixelFormat::YUY2, 320, 240, {30}}};
    plug(setup);
    detector_->setHoldTime(0.5);
    detector_->setCooldown(10.0);
    detector_->setMapping(2, QStringLiteral("Calculator"));
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    ASSERT_TRUE(waitAdvancing([&] { return !detector_->launchLog().empty(); }));
    const auto log = detector_->launchLog();
    const auto lastLaunch = detector_->lastLaunch(1);

    standin::unplug(setup.path);
    ASSERT_TRUE(waitUntil([&] { return detector_->statusText().startsWith("Waiting"); }));
    EXPECT_EQ(detector_->statusText(),
              QStringLiteral("Waiting for the camera: the camera was disconnected"));
    EXPECT_TRUE(detector_->isDetecting());
    ASSERT_TRUE(waitUntil([&] { return !detector_->isDetecting(); }, kStartWaitMs));
    EXPECT_EQ(detector_->statusText(), QStringLiteral("Camera error: the camera was disconnected"));
    EXPECT_EQ(detector_->captureSession(), nullptr);
    EXPECT_EQ(detector_->previewLayer(), nullptr);
    EXPECT_TRUE(framesStopped());
    EXPECT_EQ(detector_->launchLog(), log);
    EXPECT_EQ(detector_->lastLaunch(1), lastLaunch);
    EXPECT_EQ(detector_->holdTime(), 0.5);
    EXPECT_EQ(detector_->cooldown(), 10.0);
    EXPECT_EQ(detector_->mapping(2), QStringLiteral("Calculator"));

    // Unplugged, Start finds no camera; plugged back, it runs again in the same process.
    detector_->start();
    EXPECT_EQ(detector_->statusText(), QStringLiteral("No camera found"));
    plug(setup);
    const auto framesBefore = detector_->frameCount();
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    EXPECT_EQ(detector_->statusText(), kActive);
    EXPECT_TRUE(waitUntil([&] { return detector_->frameCount() >= framesBefore + 3; }));
}

TEST_F(QtCameraEngineTest, TwoCamerasUseTheDefaultOne) {
    standin::CameraSetup other;
    other.path = "/dev/video-standin0";
    other.name = "Other Camera";
    other.modes = {{PixelFormat::I420, 320, 180, {30}}};
    plug(other);
    standin::CameraSetup preferred = other;
    preferred.path = "/dev/video-standin1";
    preferred.name = "Default Camera";
    preferred.isDefault = true;
    plug(preferred);

    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    EXPECT_TRUE(waitUntil([&] { return detector_->frameCount() >= 3; }));
    EXPECT_GT(standin::framesDelivered(preferred.path), 0);
    EXPECT_EQ(standin::framesDelivered(other.path), 0);
    EXPECT_FALSE(standin::negotiated(other.path));
}

TEST_F(QtCameraEngineTest, ABusyCameraIsAPlainCameraError) {
    standin::CameraSetup setup;
    setup.busy = true;
    plug(setup);
    detector_->start();
    ASSERT_TRUE(waitUntil(
        [&] { return detector_->statusText().startsWith(QStringLiteral("Camera error")); },
        kStartWaitMs))
        << detector_->statusText().toStdString();
    EXPECT_EQ(detector_->statusText(),
              QStringLiteral("Camera error: Device '/dev/video-standin0' is busy"));
    EXPECT_FALSE(detector_->isDetecting());
    EXPECT_EQ(detector_->captureSession(), nullptr);
    EXPECT_EQ(detector_->previewLayer(), nullptr);
    EXPECT_EQ(detector_->frameCount(), 0);
}

TEST_F(QtCameraEngineTest, ASlowCameraIsStartingUntilItsFirstFrame) {
    const standin::CameraSetup setup = heldFirstFrame();
    plug(setup);
    detector_->start();
    EXPECT_NE(detector_->captureSession(), nullptr);
    EXPECT_NE(detector_->previewLayer(), nullptr);
    waitUntil([] { return false; }, 500); // the camera is opened, but sends nothing yet
    EXPECT_FALSE(detector_->isDetecting());
    EXPECT_TRUE(debugLines_.isEmpty());

    standin::releaseFirstFrame(setup.path);
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    EXPECT_EQ(detector_->debugInfo(),
              QStringLiteral("Session running: true (320x180 NV12 30 fps)"));
}

TEST_F(QtCameraEngineTest, ACameraThatTakesSecondsStillStarts) {
    standin::CameraSetup setup;
    setup.modes = {{PixelFormat::NV12, 320, 180, {30}}};
    setup.startDelayMs = 2000;
    plug(setup);
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    EXPECT_EQ(detector_->statusText(), kActive);
}

TEST_F(QtCameraEngineTest, StopWhileStartingReportsNoLateRunning) {
    const standin::CameraSetup setup = heldFirstFrame();
    plug(setup);
    detector_->start();
    waitUntil([] { return false; }, 300); // the camera is opened, but sends nothing yet
    detector_->stop();
    standin::releaseFirstFrame(setup.path);
    waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }, 30000);
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(detector_->statusText(), QStringLiteral("Stopped"));
    EXPECT_FALSE(detector_->isDetecting());
    EXPECT_EQ(detector_->captureSession(), nullptr);
    EXPECT_EQ(detector_->frameCount(), 0);

    // And a new start runs (the camera's first frame is released now).
    detector_->start();
    EXPECT_TRUE(waitRunning()) << detector_->statusText().toStdString();
}

} // namespace
} // namespace palmcue::camera::test
