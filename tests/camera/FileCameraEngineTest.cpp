// SPDX-License-Identifier: Apache-2.0
// The file camera driving the real engine (HandDetector) with a fake hand-pose service: the
// session's start, stop and failure as the user sees them, and frames flowing to detection.
#include "RecordingHandPose.h"
#include "camera/FileCameraService.h"
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"
#include "support/SharedData.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace palmcue::camera {
namespace {

using palmcue::test::waitUntil;

const QString kActive = QStringLiteral("Camera active - show your hand");

class FileCameraEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // The fake detects this hand whatever it is shown; make sure it still means "index".
        const FingerReading reading = HandDetector::classifyFingers(indexOnly());
        ASSERT_EQ(HandDetector::getSingleRaised(reading), std::optional<int>(1))
            << "the classifier no longer reads the fake hand as index only";

        path_ = dir_.filePath(QStringLiteral("hand.png"));
        QImage image(48, 36, QImage::Format_RGB32);
        image.fill(Qt::blue);
        image.setPixel(0, 0, qRgb(255, 0, 0)); // marks the top-left corner
        ASSERT_TRUE(image.save(path_));
    }
    void TearDown() override {
        detector_.reset();
        waitForStarts();
    }
    // Waits for the starts still running on the pool, with the event loop running: a start
    // waits for the main thread to open the camera.
    static void waitForStarts() {
        waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }, 20000);
    }
    HandDetector& detector(const QString& path) {
        camera_ = std::make_unique<FileCameraService>(path);
        detector_ = std::make_unique<HandDetector>(
            DetectorServices{pose_, camera_.get(), &launcher_, &clock_});
        return *detector_;
    }
    static HandObservation indexOnly() {
        return palmcue::test::syntheticHand({false, true, false, false, false});
    }
    // Waits for `done`, moving the clock on while it waits so that holds complete.
    bool waitAdvancing(const std::function<bool()>& done) {
        return waitUntil([&] {
            clock_.advance(0.02);
            return done();
        });
    }
    bool framesStopped(HandDetector& d) {
        std::atomic<bool> drained{false};
        d.detectQueue().post([&drained] { drained = true; });
        waitUntil([&] { return drained.load(); });
        const auto before = d.frameCount();
        waitUntil([] { return false; }, 300);
        return d.frameCount() == before;
    }

    QTemporaryDir dir_;
    QString path_;
    std::shared_ptr<test::RecordingHandPose> pose_ =
        std::make_shared<test::RecordingHandPose>(indexOnly());
    palmcue::test::FakeClock clock_;
    palmcue::test::FakeLauncher launcher_;
    std::unique_ptr<FileCameraService> camera_;
    std::unique_ptr<HandDetector> detector_;
};

TEST_F(FileCameraEngineTest, FramesReachDetectionAndAHeldFingerLaunches) {
    HandDetector& d = detector(path_);
    d.start();
    EXPECT_TRUE(d.previewLayer());
    ASSERT_TRUE(waitUntil([&] { return d.statusText() == kActive; }, 15000))
        << d.statusText().toStdString();
    EXPECT_TRUE(d.isDetecting());

    ASSERT_TRUE(waitUntil([&] { return pose_->calls >= 2 && d.frameCount() >= 6; }));
    EXPECT_EQ(pose_->lastWidth, 48);
    EXPECT_EQ(pose_->lastHeight, 36);
    EXPECT_EQ(pose_->lastTopLeft, 0xFFFF0000u); // red, top-left: not flipped

    ASSERT_TRUE(waitAdvancing([&] { return !launcher_.opened.empty(); }));
    EXPECT_EQ(launcher_.opened.front(), d.mapping(1).toStdString());
    EXPECT_FALSE(d.launchLog().empty());
    EXPECT_TRUE(d.debugInfo().startsWith(QStringLiteral("Hand found!")))
        << d.debugInfo().toStdString();

    d.stop();
    EXPECT_EQ(d.statusText(), QStringLiteral("Stopped"));
    EXPECT_FALSE(d.isDetecting());
    EXPECT_EQ(d.previewLayer(), nullptr);
    EXPECT_TRUE(framesStopped(d));
}

TEST_F(FileCameraEngineTest, RemovedFileStopsDetectionAndKeepsTheLaunchLog) {
    HandDetector& d = detector(path_);
    d.start();
    ASSERT_TRUE(waitUntil([&] { return d.statusText() == kActive; }, 15000));
    ASSERT_TRUE(waitAdvancing([&] { return !d.launchLog().empty(); }));
    const auto log = d.launchLog();

    ASSERT_TRUE(QFile::remove(path_));
    ASSERT_TRUE(waitUntil([&] { return !d.isDetecting(); }));
    EXPECT_TRUE(d.statusText().startsWith(QStringLiteral("Camera error: cannot open ")))
        << d.statusText().toStdString();
    EXPECT_TRUE(d.statusText().contains(QStringLiteral("removed")));
    EXPECT_EQ(d.captureSession(), nullptr);
    EXPECT_TRUE(framesStopped(d));
    EXPECT_EQ(d.launchLog(), log);
}

TEST_F(FileCameraEngineTest, StopWhileStartingCancelsTheRunningStep) {
    HandDetector& d = detector(path_);
    d.start();
    d.stop();
    waitForStarts();
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(d.statusText(), QStringLiteral("Stopped"));
    EXPECT_FALSE(d.isDetecting());
    EXPECT_EQ(d.frameCount(), 0);

    // And the detector can start again afterwards.
    d.start();
    EXPECT_TRUE(waitUntil([&] { return d.statusText() == kActive; }, 15000));
}

TEST_F(FileCameraEngineTest, MissingFileIsACameraError) {
    const QString missing = dir_.filePath(QStringLiteral("nope.png"));
    HandDetector& d = detector(missing);
    d.start();
    EXPECT_EQ(d.statusText().toStdString(),
              "Camera error: cannot open " + missing.toStdString() + ": No such file or directory");
    EXPECT_FALSE(d.isDetecting());
    EXPECT_EQ(d.captureSession(), nullptr);
}

TEST_F(FileCameraEngineTest, DetectorDestroyedWhileStartingOrRunning) {
    // The application quitting mid-start or mid-run must neither crash nor hang.
    detector(path_).start();
    detector_.reset();
    waitForStarts();

    HandDetector& d = detector(path_);
    d.start();
    ASSERT_TRUE(waitUntil([&] { return d.frameCount() >= 3; }, 15000));
    detector_.reset();
    waitUntil([] { return false; }, 200);
}

TEST_F(FileCameraEngineTest, RealPhotoReachesDetectionWhole) {
    PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
    const auto photos = palmcue::test::labelledPhotos();
    ASSERT_FALSE(photos.empty());
    QImageReader reader(photos.front().file);
    reader.setAutoTransform(true);
    const QSize size = reader.read().size();
    ASSERT_FALSE(size.isEmpty());

    HandDetector& d = detector(photos.front().file);
    d.start();
    ASSERT_TRUE(waitUntil([&] { return pose_->calls >= 1; }, 15000))
        << d.statusText().toStdString();
    EXPECT_EQ(pose_->lastWidth, size.width());
    EXPECT_EQ(pose_->lastHeight, size.height());
    EXPECT_TRUE(waitUntil([&] { return d.detectedFinger() == std::optional<int>(1); }));
    d.stop();
}

} // namespace
} // namespace palmcue::camera
