// SPDX-License-Identifier: Apache-2.0
// The engine's launch step driven through the real launcher with a fake workspace and a
// hand-advanced clock: cooldowns, status texts and the launch log.
#include "FakeWorkspace.h"
#include "apps/AppLauncher.h"
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"

#include <gtest/gtest.h>

using palmcue::test::FakeClock;

namespace {

constexpr int kThumb = 0, kIndex = 1, kMiddle = 2;

class LaunchAppTest : public ::testing::Test {
protected:
    LaunchAppTest() {
        for (const char* name : {"Safari", "Mail", "Music", "Notes", "Xterm"}) {
            catalogue.push_back({name, QStringLiteral("/apps/%1.desktop").arg(name)});
        }
    }
    std::size_t opens() const { return workspace.opened.size(); }

    palmcue::test::FakeWorkspace workspace;
    std::vector<palmcue::apps::AppInfo> catalogue;
    palmcue::apps::AppLauncher launcher{workspace, [this] { return catalogue; }};
    FakeClock clock;
    palmcue::HandDetector detector{{nullptr, nullptr, &launcher, &clock}};
};

} // namespace

TEST_F(LaunchAppTest, CooldownIsPerFingerAndEndsAtExactlyItsLength) {
    detector.launchApp(kThumb);
    ASSERT_EQ(opens(), 1u);
    EXPECT_EQ(detector.statusText(), "Launched Safari (Thumb)");

    clock.advance(1);
    detector.launchApp(kMiddle); // another finger is not held back
    EXPECT_EQ(opens(), 2u);

    clock.advance(3.9); // 4.9 s after the thumb's launch
    detector.launchApp(kThumb);
    EXPECT_EQ(opens(), 2u);
    clock.advance(0.1); // 5.0 s
    detector.launchApp(kThumb);
    EXPECT_EQ(opens(), 3u);
    EXPECT_EQ(workspace.opened.back(), "/apps/Safari.desktop");
}

TEST_F(LaunchAppTest, LoweringTheCooldownAppliesAtOnce) {
    detector.launchApp(kThumb);
    clock.advance(2);
    detector.launchApp(kThumb);
    EXPECT_EQ(opens(), 1u);
    detector.setCooldown(1.0);
    detector.launchApp(kThumb);
    EXPECT_EQ(opens(), 2u);
}

TEST_F(LaunchAppTest, EmptyMappingDoesNothing) {
    detector.setMapping(kThumb, QString());
    detector.launchApp(kThumb);
    EXPECT_EQ(opens(), 0u);
    EXPECT_EQ(detector.statusText(), "Ready");
    EXPECT_FALSE(detector.lastLaunch(kThumb).has_value());
}

TEST_F(LaunchAppTest, MissingApplicationIsReportedAndNotLogged) {
    detector.launchApp(kIndex); // mapped to Messages, which is not installed
    EXPECT_EQ(detector.statusText(), "Could not find Messages (Index)");
    EXPECT_TRUE(detector.launchLog().empty());
    EXPECT_TRUE(detector.lastLaunch(kIndex).has_value()); // not retried on every hold
}

TEST_F(LaunchAppTest, RefusedLaunchIsReportedAndNotLogged) {
    workspace.refusals["/apps/Mail.desktop"] = "entry is broken";
    detector.launchApp(kMiddle);
    EXPECT_EQ(detector.statusText(), "Could not open Mail (Middle): entry is broken");
    EXPECT_TRUE(detector.launchLog().empty());
}

TEST_F(LaunchAppTest, LateFailureRemovesItsLogEntryOnly) {
    detector.setMapping(kIndex, "Xterm");
    detector.launchApp(kThumb);
    detector.launchApp(kIndex);
    ASSERT_EQ(detector.launchLog().size(), 2u);
    EXPECT_EQ(detector.launchLog()[1].appName, "Xterm");
    EXPECT_EQ(detector.launchLog()[1].time, "00:00:00");

    workspace.failLater("its program quit at once with exit status 127");
    EXPECT_EQ(detector.statusText(),
              "Could not open Xterm (Index): its program quit at once with exit status 127");
    ASSERT_EQ(detector.launchLog().size(), 1u);
    EXPECT_EQ(detector.launchLog()[0].appName, "Safari");
}

TEST_F(LaunchAppTest, LogKeepsTheTenNewestLaunches) {
    detector.setCooldown(0.0);
    for (int i = 1; i <= 12; ++i) {
        clock.advance(1.0); // the log time reads 00:00:0i
        detector.launchApp(kThumb);
        if (i == 11) {
            ASSERT_EQ(detector.launchLog().size(), 10u);
            EXPECT_EQ(detector.launchLog().front().time, "00:00:02");
        }
    }
    ASSERT_EQ(detector.launchLog().size(), 10u);
    EXPECT_EQ(detector.launchLog().front().time, "00:00:03");
    EXPECT_EQ(detector.launchLog().back().time, "00:00:12");
}

TEST_F(LaunchAppTest, LateFailureOfATrimmedEntryOnlySetsTheStatus) {
    detector.setCooldown(0.0);
    detector.launchApp(kThumb);
    const auto firstFailure = workspace.failLater;
    for (int i = 0; i < 10; ++i)
        detector.launchApp(kMiddle);
    firstFailure("late");
    EXPECT_EQ(detector.statusText(), "Could not open Safari (Thumb): late");
    EXPECT_EQ(detector.launchLog().size(), 10u);
}
