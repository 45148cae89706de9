// SPDX-License-Identifier: Apache-2.0
// Something other than a model file where a model should be: the real loader says what it
// found without opening it, and a detector that cannot detect does not invite the user to
// show a hand.
#include "engine/HandDetector.h"
#include "handpose/MediaPipeHandPose.h"
#include "support/EngineFakes.h"
#include "support/FifoWatch.h"
#include "support/SharedData.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using palmcue::handpose::MediaPipeHandPose;
using namespace palmcue;
using namespace palmcue::test;

namespace {

struct BrokenModelDir : ::testing::Test {
    BrokenModelDir() {
        dir = tmp.path().toStdString();
        palm = dir + "/" + MediaPipeHandPose::kPalmModelFile;
    }
    std::string loadError() {
        MediaPipeHandPose pose(MediaPipeHandPose::Options{dir, 1});
        const Result<void> loaded = pose.load();
        EXPECT_FALSE(loaded);
        return loaded.error();
    }

    QTemporaryDir tmp;
    std::string dir;
    std::string palm;
};

} // namespace

TEST_F(BrokenModelDir, SaysWhatStandsWhereTheModelShouldBe) {
    EXPECT_EQ(loadError(), palm + ": the hand model is missing (run scripts/fetch-models.sh)");

    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(palm)));
    EXPECT_EQ(loadError(), palm + ": is a folder where the hand model file should be");
    ASSERT_TRUE(QDir().rmdir(QString::fromStdString(palm)));

    {
        FifoWatch fifo(palm);
        EXPECT_EQ(loadError(),
                  palm + ": is a FIFO (named pipe) where the hand model file should be");
        EXPECT_FALSE(fifo.opened());
    }

    ASSERT_EQ(symlink("/dev/null", palm.c_str()), 0);
    EXPECT_EQ(loadError(), palm + ": is a device where the hand model file should be");
}

TEST_F(BrokenModelDir, StatusStopsInvitingAHandWhileTheModelsCannotLoad) {
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(palm)));
    FakeClock clock;
    FakeLauncher launcher;
    FakeCamera camera;
    HandDetector detector(
        DetectorServices{std::make_shared<MediaPipeHandPose>(MediaPipeHandPose::Options{dir, 1}),
                         &camera, &launcher, &clock});
    detector.start();
    ASSERT_TRUE(waitUntil([&] { return detector.isDetecting(); }));
    EXPECT_EQ(detector.statusText(), "Camera active - show your hand");

    // Three frames, so that one is analysed, then the main-thread update it queued.
    const auto analyseOneFrame = [&detector] {
        std::atomic<bool> done{false};
        for (int i = 0; i < 3; ++i)
            detector.detectQueue().post([&detector] { detector.captureOutput(frameWithImage()); });
        detector.detectQueue().post([&done] { done = true; });
        const bool drained = waitUntil([&] { return done.load(); });
        QCoreApplication::processEvents();
        return drained;
    };
    ASSERT_TRUE(analyseOneFrame());
    EXPECT_EQ(detector.debugInfo(),
              QString::fromStdString("Handler error: " + palm +
                                     ": is a folder where the hand model file should be"));
    EXPECT_EQ(detector.statusText(), "Camera active - hand detection unavailable");

    // A launch's message is not overwritten by the next failing frame.
    detector.setMapping(0, QStringLiteral("Mail"));
    detector.launchApp(0);
    ASSERT_TRUE(analyseOneFrame());
    EXPECT_EQ(detector.statusText(), "Launched Mail (Thumb)");
    detector.stop();
}
