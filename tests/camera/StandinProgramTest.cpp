// SPDX-License-Identifier: Apache-2.0
// The whole program with the stand-in webcam as GStreamer finds it in GST_PLUGIN_PATH: the
// plugin file a demo without a webcam uses. A photo of a raised index finger is held up to two
// cameras; the first is unplugged and plugged back through its plug file.
#include "PalmcueApp/AppDelegate.h"
#include "camera/CameraDevices.h"
#include "engine/HandDetector.h"
#include "handpose/MediaPipeHandPose.h"
#include "support/SharedData.h"

#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace {

using palmcue::test::waitUntil;

constexpr int kWaitMs = 30000; // a loaded machine under a sanitizer; never reached when sound

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

QString plugFile() {
    return scratch().filePath(QStringLiteral("plugged"));
}

void setPlugged(bool plugged) {
    if (plugged) {
        QFile file(plugFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    } else {
        ASSERT_TRUE(QFile::remove(plugFile()));
    }
}

// Before the first test, and so before GStreamer starts: what the plugin reads.
class PluginEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("GST_PLUGIN_PATH", PALMCUE_STANDIN_PLUGIN_DIR);
        // A registry of its own, so that other test programs never see this plugin path.
        qputenv("GST_REGISTRY",
                QFile::encodeName(scratch().filePath(QStringLiteral("registry.bin"))));
        qputenv("PALMCUE_STANDIN_PLUG_FILE", QFile::encodeName(plugFile()));
        qputenv("PALMCUE_STANDIN_CAMERAS", "2");
        if (const auto hands = palmcue::test::sharedHandsDir())
            qputenv("PALMCUE_STANDIN_PICTURE",
                    QFile::encodeName(*hands + QStringLiteral("/one_hagrid_01.jpg")));
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new PluginEnvironment);

class StandinProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
        if (!QFileInfo::exists(QString::fromLocal8Bit(qgetenv("PALMCUE_STANDIN_PICTURE"))))
            GTEST_SKIP() << "one_hagrid_01.jpg is not in ../shared/hands";
        const QString models =
            QString::fromStdString(palmcue::handpose::MediaPipeHandPose::defaultModelDir());
        for (const char* model : {palmcue::handpose::MediaPipeHandPose::kPalmModelFile,
                                  palmcue::handpose::MediaPipeHandPose::kLandmarkModelFile}) {
            if (!QFileInfo::exists(models + QLatin1Char('/') + QLatin1String(model)))
                GTEST_SKIP() << "the hand models are not present in " << models.toStdString();
        }
        ASSERT_TRUE(scratch().isValid());
        ASSERT_NO_FATAL_FAILURE(setPlugged(true));
    }
    void TearDown() override {
        delegate_.reset();
        waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }, kWaitMs);
    }

    std::unique_ptr<palmcue::shell::AppDelegate> delegate_ =
        std::make_unique<palmcue::shell::AppDelegate>(palmcue::shell::AppDelegate::Options{});
};

TEST_F(StandinProgramTest, TheProgramSeesTheHeldFingerAndTakesItsCameraBackAfterAnUnplug) {
    ASSERT_TRUE(delegate_->applicationDidFinishLaunching()) << delegate_->error().toStdString();
    palmcue::HandDetector& detector = *delegate_->detector();
    QStringList debugLines;
    QObject::connect(&detector, &palmcue::HandDetector::debugInfoChanged, &detector,
                     [&] { debugLines.append(detector.debugInfo()); });

    detector.start();
    ASSERT_TRUE(waitUntil([&] { return detector.isDetecting(); }, kWaitMs))
        << detector.statusText().toStdString();
    EXPECT_TRUE(debugLines.contains(QStringLiteral("Session running: true (640x480 YUYV 30 fps)")))
        << debugLines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(
        waitUntil([&] { return detector.detectedFinger() == std::optional<int>(1); }, kWaitMs))
        << detector.debugInfo().toStdString();

    // Back within the limit: taken up again without a Start.
    ASSERT_NO_FATAL_FAILURE(setPlugged(false));
    ASSERT_TRUE(waitUntil(
        [&] {
            return detector.statusText() ==
                   QStringLiteral("Waiting for the camera: the camera was disconnected");
        },
        kWaitMs))
        << detector.statusText().toStdString();
    EXPECT_TRUE(detector.isDetecting());
    ASSERT_NO_FATAL_FAILURE(setPlugged(true));
    ASSERT_TRUE(waitUntil(
        [&] { return detector.statusText() == QStringLiteral("Camera active - show your hand"); },
        kWaitMs))
        << detector.statusText().toStdString();
    EXPECT_TRUE(
        waitUntil([&] { return detector.detectedFinger() == std::optional<int>(1); }, kWaitMs));
}

// `palmcue --camera "Camera 2"`: the first camera coming and going is none of its business.
TEST_F(StandinProgramTest, ANamedCameraIsTheOneUsed) {
    const auto camera =
        palmcue::camera::findCamera(QMediaDevices::videoInputs(), QStringLiteral("camera 2"));
    ASSERT_TRUE(camera) << camera.error();
    delegate_ = std::make_unique<palmcue::shell::AppDelegate>(
        palmcue::shell::AppDelegate::Options{std::nullopt, *camera});
    ASSERT_TRUE(delegate_->applicationDidFinishLaunching()) << delegate_->error().toStdString();
    palmcue::HandDetector& detector = *delegate_->detector();
    detector.start();
    ASSERT_TRUE(waitUntil([&] { return detector.isDetecting(); }, kWaitMs))
        << detector.statusText().toStdString();
    ASSERT_NO_FATAL_FAILURE(setPlugged(false));
    const auto frames = detector.frameCount();
    EXPECT_TRUE(waitUntil([&] { return detector.frameCount() > frames + 30; }, kWaitMs));
    EXPECT_EQ(detector.statusText(), QStringLiteral("Camera active - show your hand"));
}

} // namespace
