// SPDX-License-Identifier: Apache-2.0
// The frame pipeline: counting and skipping on the detection thread, the texts and the
// updates published on the main thread, in frame order.
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"
#include "support/SharedData.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace palmcue;
using namespace palmcue::test;

namespace {

struct PipelineFixture : ::testing::Test {
    FakeClock clock;
    FakeLauncher launcher;
    FakeCamera camera;
    std::shared_ptr<FakeHandPose> handPose = std::make_shared<FakeHandPose>();
    std::unique_ptr<HandDetector> detector =
        std::make_unique<HandDetector>(DetectorServices{handPose, &camera, &launcher, &clock});

    // Delivers frames on the detection queue, as a capture session does.
    void deliver(const SampleBuffer& frame) {
        HandDetector* d = detector.get();
        d->detectQueue().post([d, frame] { d->captureOutput(frame); });
    }
    // Waits until the detection queue has run everything posted so far and the main-thread
    // updates it queued have run too.
    void drain() {
        std::atomic<bool> done{false};
        detector->detectQueue().post([&done] { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done.load(); }));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    static HandPoseResult hand(const FingerFlags& raised, float confidence = 0.873f) {
        return oneHand(syntheticHand(raised, 0.0, false, confidence));
    }
};

} // namespace

TEST_F(PipelineFixture, AnalysesEveryThirdFrameWithAPicture) {
    handPose->fallback = noHands();
    deliver(frameWithImage());
    deliver(frameWithoutImage()); // neither counted nor analysed
    deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->frameCount(), 2);
    EXPECT_EQ(handPose->calls, 0);
    deliver(frameWithImage());
    drain();
    EXPECT_EQ(handPose->calls, 1);
    EXPECT_EQ(handPose->lastMaximumHandCount, 1);
    EXPECT_EQ(detector->debugInfo(), "No hand detected (frame 3)");
}

TEST_F(PipelineFixture, PublishesTheHandTextAndRunsTheHold) {
    handPose->script = {hand({false, true, true, false, false}),
                        hand({false, true, false, false, false}),
                        hand({false, false, false, false, false}, 0.5f)};
    for (int i = 0; i < 3; ++i)
        deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->debugInfo(), "Hand found! Raised[2]: Index,Middle | conf=0.87");
    EXPECT_EQ(detector->fingerStates(), (FingerFlags{false, true, true, false, false}));
    EXPECT_FALSE(detector->detectedFinger());

    for (int i = 0; i < 3; ++i)
        deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->debugInfo(), "Hand found! Raised[1]: Index | conf=0.87");
    EXPECT_EQ(detector->detectedFinger(), 1);
    EXPECT_TRUE(detector->holdStart(1)) << "the hold step ran for the index finger";

    for (int i = 0; i < 3; ++i)
        deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->debugInfo(), "Hand found! Raised[0]:  | conf=0.50");
    EXPECT_FALSE(detector->holdStart(1));
}

TEST_F(PipelineFixture, AnUnknownFingerShowsAsNotRaisedAndHoldsNothing) {
    // A V sign whose middle fingertip is too far outside the picture to be trusted.
    HandPoseResult vSign = hand({false, true, true, false, false});
    vSign->front().joints[static_cast<int>(JointName::MiddleTip)]->confidence = 0.0f;
    handPose->script = {hand({false, true, false, false, false}), vSign};
    for (int i = 0; i < 6; ++i)
        deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->fingerStates(), (FingerFlags{false, true, false, false, false}));
    EXPECT_EQ(detector->debugInfo(), "Hand found! Raised[1]: Index | conf=0.87");
    EXPECT_FALSE(detector->detectedFinger()) << "the middle finger might be raised too";
    EXPECT_FALSE(detector->holdStart(1)) << "the index hold of the frame before is reset";
}

TEST_F(PipelineFixture, ErrorsOnlyChangeTheDebugLine) {
    handPose->script = {hand({false, true, false, false, false}),
                        performError("model file missing"), requestError("inference failed")};
    for (int i = 0; i < 6; ++i)
        deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->debugInfo(), "Handler error: model file missing");
    EXPECT_EQ(detector->detectedFinger(), 1) << "an error leaves the finger state";
    for (int i = 0; i < 3; ++i)
        deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->debugInfo(), "Vision error: inference failed");
    EXPECT_EQ(detector->fingerStates(), (FingerFlags{false, true, false, false, false}));

    // A frame whose picture cannot be converted is a perform error too.
    deliver({std::make_shared<FakePixelBuffer>(false)});
    deliver({std::make_shared<FakePixelBuffer>(false)});
    deliver({std::make_shared<FakePixelBuffer>(false)});
    drain();
    EXPECT_EQ(detector->debugInfo(), "Handler error: unsupported frame format");
}

TEST_F(PipelineFixture, StatusSaysWhenFramesCannotBeAnalysedAndWhenTheyCanAgain) {
    detector->start();
    ASSERT_TRUE(waitUntil([&] { return detector->isDetecting(); }));
    handPose->script = {performError("model file missing"), noHands(),
                        requestError("inference failed"), performError("model file missing"),
                        hand({false, true, false, false, false})};
    const std::vector<QString> expected = {
        "Camera active - hand detection unavailable", "Camera active - show your hand",
        "Camera active - show your hand", "Camera active - hand detection unavailable",
        "Camera active - show your hand"};
    for (const QString& status : expected) {
        for (int i = 0; i < 3; ++i)
            deliver(frameWithImage());
        drain();
        EXPECT_EQ(detector->statusText(), status) << detector->debugInfo().toStdString();
    }
    detector->stop();
}

TEST_F(PipelineFixture, UpdatesArriveInFrameOrder) {
    std::vector<QString> texts;
    QObject::connect(detector.get(), &HandDetector::debugInfoChanged,
                     [&] { texts.push_back(detector->debugInfo()); });
    for (int i = 0; i < 10; ++i)
        handPose->script.push_back(i % 2 ? hand({false, true, false, false, false}) : noHands());
    for (int i = 0; i < 30; ++i)
        deliver(frameWithImage());
    drain();
    ASSERT_EQ(texts.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(texts[i].startsWith("Hand found!"), i % 2 == 1) << "update " << i;
}

TEST_F(PipelineFixture, ResultsOfFramesTakenBeforeStopAreDropped) {
    handPose->fallback = hand({false, true, false, false, false});
    for (int i = 0; i < 3; ++i)
        deliver(frameWithImage());
    // Let the detection thread finish, but stop before the main thread runs the update.
    std::atomic<bool> analysed{false};
    detector->detectQueue().post([&] { analysed = true; });
    while (!analysed)
        QThread::msleep(1);
    detector->stop();
    QCoreApplication::processEvents();
    EXPECT_FALSE(detector->detectedFinger());
    EXPECT_TRUE(detector->debugInfo().isEmpty());
}

TEST_F(PipelineFixture, DetectorDestroyedWhileAFrameIsInFlight) {
    handPose->fallback = hand({false, true, false, false, false});
    for (int i = 0; i < 30; ++i)
        deliver(frameWithImage());
    detector.reset(); // joins the detection thread; queued updates are dropped
    const int analysed = handPose->calls;
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(handPose->calls, analysed) << "a frame was analysed after the detector went";
    EXPECT_LE(analysed, 10); // every third frame at most
    // Nothing queued still holds the hand-pose service.
    EXPECT_EQ(handPose.use_count(), 1);
}

TEST_F(PipelineFixture, FrameCountContinuesAcrossStopAndStart) {
    handPose->fallback = noHands();
    for (int i = 0; i < 4; ++i)
        deliver(frameWithImage());
    drain();
    detector->stop();
    deliver(frameWithImage());
    deliver(frameWithImage());
    drain();
    EXPECT_EQ(detector->frameCount(), 6);
    EXPECT_EQ(handPose->calls, 2);
    EXPECT_EQ(detector->debugInfo(), "No hand detected (frame 6)");
}

TEST_F(PipelineFixture, HandPoseStartsAfreshAfterAStopAndAfterAnUnreadableFrame) {
    handPose->fallback = noHands();
    for (int i = 0; i < 6; ++i)
        deliver(frameWithImage());
    drain();
    detector->stop();
    for (int i = 0; i < 3; ++i)
        deliver(frameWithImage());
    for (int i = 0; i < 3; ++i)
        deliver({std::make_shared<FakePixelBuffer>(false)});
    drain();
    // Before the first frame, the first after Stop, and after the frame it could not read.
    EXPECT_EQ(handPose->resetsBeforeCall, (std::vector<int>{0, 2, 3}));
}
