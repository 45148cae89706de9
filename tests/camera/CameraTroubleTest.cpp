// SPDX-License-Identifier: Apache-2.0
// Webcams in trouble, on the real camera path with the stand-in webcam: frames that change size
// or arrive broken, pauses short and long, a camera unplugged for a moment, and an infrared
// camera beside a colour one or alone.
#include "EngineOnStandin.h"

#include <QMediaDevices>

namespace palmcue::camera::test {
namespace {

using palmcue::test::waitUntil;
using standin::Glitch;
using standin::PixelFormat;

class CameraTroubleTest : public EngineOnStandin {
protected:
    void SetUp() override {
        EngineOnStandin::SetUp();
        watchStatus();
    }
    void watchStatus() {
        QObject::connect(detector_.get(), &HandDetector::statusTextChanged, detector_.get(),
                         [this] { statuses_.append(detector_->statusText()); });
    }
    // A detector whose camera counts as failed after `limit` without a picture.
    void limitNoPicture(std::chrono::milliseconds limit,
                        std::optional<QCameraDevice> chosen = std::nullopt) {
        connectDetector(nullptr, std::make_unique<QtCameraService>(CameraPermission(),
                                                                   std::move(chosen), limit));
        watchStatus();
    }
    // Whether `count` more frames reach the detection queue.
    bool framesFlow(int count = 6) {
        const auto before = detector_->frameCount();
        return waitUntil([&] { return detector_->frameCount() >= before + count; }, kStartWaitMs);
    }
    bool waitStatus(const QString& status, int timeoutMs = kStartWaitMs) {
        return waitUntil([&] { return detector_->statusText() == status; }, timeoutMs);
    }
    std::string statusHistory() const { return statuses_.join(QLatin1String(" | ")).toStdString(); }

    QStringList statuses_;
};

TEST_F(CameraTroubleTest, FramesThatChangeSizeOrArriveBrokenDoNotStopThePicture) {
    // The JPEG pictures shrink and some are noise or cut short: Qt's decoder takes all that.
    standin::CameraSetup mjpeg;
    mjpeg.modes = {{PixelFormat::MJPEG, 640, 480, {30}}};
    mjpeg.glitches = {{Glitch::Kind::Resize, 10, 320, 240},
                      {Glitch::Kind::Corrupt, 20, 0, 0, 3},
                      {Glitch::Kind::Truncate, 30, 0, 0, 2}};
    plug(mjpeg);
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    ASSERT_TRUE(waitUntil([&] { return standin::framesDelivered(mjpeg.path) > 40; }, kStartWaitMs));
    EXPECT_TRUE(framesFlow());
    EXPECT_EQ(recordingPose_->lastWidth, 320);
    EXPECT_EQ(recordingPose_->lastHeight, 240);
    EXPECT_EQ(detector_->statusText(), kActive) << statusHistory();
    detector_->stop();
    standin::unplugAll();
    ASSERT_TRUE(waitForCameras(0));

    // Raw frames that change size come with new caps, which Qt's pipeline refuses: the camera
    // is started again by itself, and says so meanwhile.
    standin::CameraSetup raw;
    raw.modes = {{PixelFormat::YUY2, 640, 480, {30}}};
    raw.glitches = {{Glitch::Kind::Resize, 10, 320, 240}};
    plug(raw);
    statuses_.clear();
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    ASSERT_TRUE(waitUntil([&] { return statuses_.size() >= 3; }, kStartWaitMs)) << statusHistory();
    EXPECT_TRUE(statuses_.at(1).startsWith(QStringLiteral("Waiting for the camera: ")))
        << statusHistory();
    EXPECT_TRUE(waitStatus(kActive)) << statusHistory();
    EXPECT_TRUE(framesFlow());
    EXPECT_TRUE(detector_->isDetecting());
}

TEST_F(CameraTroubleTest, APauseIsWaitedOutAndOneLongerThanTheLimitEndsInACameraError) {
    limitNoPicture(std::chrono::milliseconds(3000));
    standin::CameraSetup setup;
    setup.modes = {{PixelFormat::YUY2, 320, 240, {30}}};
    setup.glitches = {{Glitch::Kind::Pause, 15, 0, 0, 1, 2600},
                      {Glitch::Kind::Pause, 45, 0, 0, 1, 600000}};
    plug(setup);
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    ASSERT_TRUE(waitUntil([&] { return detector_->detectedFinger() == 1; }));

    // Nothing is held while there is no picture.
    ASSERT_TRUE(waitStatus(QStringLiteral("Waiting for the camera: the camera sends no picture")))
        << statusHistory();
    EXPECT_FALSE(detector_->detectedFinger());
    EXPECT_EQ(detector_->holdProgress(), 0.0);
    EXPECT_TRUE(detector_->isDetecting());
    ASSERT_TRUE(waitStatus(kActive)) << statusHistory();
    EXPECT_TRUE(framesFlow());

    ASSERT_TRUE(waitUntil([&] { return !detector_->isDetecting(); }, kStartWaitMs));
    EXPECT_EQ(detector_->statusText(), QStringLiteral("Camera error: no picture within 3 s"));
    EXPECT_EQ(detector_->captureSession(), nullptr);
}

TEST_F(CameraTroubleTest, ACameraBackWithinTheLimitIsTakenUpAgain) {
    standin::CameraSetup setup;
    setup.modes = {{PixelFormat::YUY2, 320, 240, {30}}};
    plug(setup);
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    ASSERT_TRUE(waitUntil([&] { return detector_->detectedFinger() == 1; }));

    // A USB reset, or a laptop waking up: the camera goes, and comes back under a new id.
    standin::unplug(setup.path);
    ASSERT_TRUE(waitStatus(QStringLiteral("Waiting for the camera: the camera was disconnected")))
        << statusHistory();
    EXPECT_TRUE(detector_->isDetecting());
    EXPECT_NE(detector_->captureSession(), nullptr);
    EXPECT_FALSE(detector_->detectedFinger());
    debugLines_.clear();
    plug(setup);
    ASSERT_TRUE(waitStatus(kActive)) << statusHistory();
    EXPECT_TRUE(framesFlow());
    EXPECT_GT(standin::framesDelivered(setup.path), 0);
    EXPECT_TRUE(debugLines_.contains(QStringLiteral("Session running: true (320x240 YUYV 30 fps)")))
        << debugLines_.join(QLatin1Char('|')).toStdString();
}

TEST_F(CameraTroubleTest, AnInfraredCameraIsNotTheDefaultAndAloneItSaysSo) {
    standin::CameraSetup infrared;
    infrared.name = "Integrated IR Camera";
    infrared.modes = standin::infraredModes();
    infrared.isDefault = true;
    plug(infrared);
    standin::CameraSetup colour;
    colour.path = "/dev/video-standin1";
    colour.name = "Integrated Camera";
    colour.modes = {{PixelFormat::YUY2, 320, 240, {30}}};
    plug(colour);

    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    EXPECT_TRUE(framesFlow(3));
    EXPECT_EQ(standin::framesDelivered(infrared.path), 0);
    detector_->stop();

    standin::unplug(colour.path);
    ASSERT_TRUE(waitForCameras(1));
    detector_->start();
    EXPECT_EQ(detector_->statusText(),
              QStringLiteral("No colour camera found: Integrated IR Camera gives greyscale "
                             "(infrared) pictures only"));
    EXPECT_EQ(detector_->captureSession(), nullptr);

    // Named on the command line, it is used all the same.
    limitNoPicture(std::chrono::seconds(10), QMediaDevices::videoInputs().front());
    detector_->start();
    ASSERT_TRUE(waitRunning()) << detector_->statusText().toStdString();
    EXPECT_TRUE(framesFlow(3));
    EXPECT_EQ(recordingPose_->lastWidth, 640);
}

} // namespace
} // namespace palmcue::camera::test
