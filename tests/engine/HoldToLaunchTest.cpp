// SPDX-License-Identifier: Apache-2.0
// Hold-to-launch sequences on a hand-driven monotonic clock.
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace palmcue;
using namespace palmcue::test;

namespace {

struct HoldFixture : ::testing::Test {
    FakeClock clock;
    FakeLauncher launcher;
    FakeCamera camera;
    HandDetector detector{{std::make_shared<FakeHandPose>(), &camera, &launcher, &clock}};

    // Steps the hold for `finger` at each of the given offsets from the first step.
    std::vector<double> holdAt(std::optional<int> finger, std::initializer_list<double> times) {
        std::vector<double> progress;
        double previous = 0.0;
        for (double t : times) {
            clock.advance(t - previous);
            previous = t;
            detector.updateHold(finger);
            progress.push_back(detector.holdProgress());
        }
        return progress;
    }
};

} // namespace

TEST_F(HoldFixture, ProgressGrowsUntilTheHoldCompletesThenResets) {
    QSignalSpy progressWrites(&detector, &HandDetector::holdProgressChanged);
    std::vector<double> published;
    QObject::connect(&detector, &HandDetector::holdProgressChanged,
                     [&] { published.push_back(detector.holdProgress()); });

    const auto progress = holdAt(1, {0.0, 0.4, 0.8, 1.2});
    EXPECT_DOUBLE_EQ(progress[0], 0.0);
    EXPECT_NEAR(progress[1], 0.4, 1e-9);
    EXPECT_NEAR(progress[2], 0.8, 1e-9);
    EXPECT_EQ(progress[3], 0.0);
    EXPECT_EQ(launcher.opened, std::vector<std::string>{"Messages"});
    // The completing step publishes 1.0 and then 0.
    ASSERT_GE(published.size(), 2u);
    EXPECT_EQ(published[published.size() - 2], 1.0);
    EXPECT_EQ(published.back(), 0.0);
    EXPECT_FALSE(detector.holdStart(1));
}

TEST_F(HoldFixture, ElapsedEqualToHoldTimeCompletes) {
    detector.setHoldTime(0.5); // exactly representable: the comparison is exact
    holdAt(2, {0.0, 0.5});
    EXPECT_EQ(launcher.opened, std::vector<std::string>{"Mail"});
}

TEST_F(HoldFixture, NoSingleFingerOrNoHandResetsEveryHold) {
    holdAt(1, {0.0, 0.6});
    detector.updateHold(std::nullopt); // two fingers raised
    EXPECT_EQ(detector.holdProgress(), 0.0);
    EXPECT_FALSE(detector.holdStart(1));
    EXPECT_EQ(holdAt(1, {0.1})[0], 0.0) << "a new hold starts from zero";

    clock.advance(0.6);
    detector.resetHold(); // no hand in the frame
    EXPECT_FALSE(detector.holdStart(1));
    EXPECT_EQ(detector.holdProgress(), 0.0);
    EXPECT_TRUE(launcher.opened.empty());
}

TEST_F(HoldFixture, SwitchingFingersKeepsTheEarlierStart) {
    holdAt(1, {0.0, 0.6});
    clock.advance(0.2);
    detector.updateHold(2); // middle alone: its own start
    EXPECT_EQ(detector.holdProgress(), 0.0);
    clock.advance(0.3);
    detector.updateHold(1); // index again: 1.1 s since its first start
    EXPECT_EQ(launcher.opened, std::vector<std::string>{"Messages"});
    EXPECT_FALSE(detector.holdStart(2)) << "a completed hold resets every finger";
}

TEST_F(HoldFixture, HeldFingerCyclesDuringItsCooldownAndLaunchesAfterIt) {
    // Analysed frames every 0.1 s for 7 s with the index finger held.
    int completions = 0;
    double last = 0.0;
    for (int i = 0; i <= 70; ++i) {
        if (i > 0)
            clock.advance(0.1);
        detector.updateHold(1);
        if (detector.holdProgress() == 0.0 && last > 0.0)
            ++completions;
        last = detector.holdProgress();
    }
    EXPECT_GE(completions, 5);
    // Launch at ~1.0 s; holds completing at ~2, 3, 4, 5 s fall inside the 5 s cooldown; the
    // one at ~6 s opens it again.
    EXPECT_EQ(launcher.opened.size(), 2u);
}

TEST_F(HoldFixture, CooldownIsPerFingerAndEmptyMappingsNeverLaunch) {
    holdAt(1, {0.0, 1.0});
    holdAt(0, {0.0, 1.0});
    EXPECT_EQ(launcher.opened, (std::vector<std::string>{"Messages", "Safari"}));

    detector.setMapping(4, QString());
    holdAt(4, {0.0, 1.0});
    EXPECT_EQ(launcher.opened.size(), 2u);
    EXPECT_FALSE(detector.lastLaunch(4)) << "an empty mapping starts no cooldown";
}
