// SPDX-License-Identifier: Apache-2.0
// The model object: initial state, the finger tables and the change rule.
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace palmcue;
using namespace palmcue::test;

namespace {

struct ModelFixture : ::testing::Test {
    FakeClock clock;
    FakeLauncher launcher;
    FakeCamera camera;
    HandDetector detector{{std::make_shared<FakeHandPose>(), &camera, &launcher, &clock}};
};

} // namespace

TEST_F(ModelFixture, StartsFromTheDefaults) {
    EXPECT_EQ(detector.statusText(), "Ready");
    EXPECT_TRUE(detector.debugInfo().isEmpty());
    EXPECT_TRUE(detector.launchLog().empty());
    EXPECT_EQ(detector.fingerStates(), (FingerFlags{false, false, false, false, false}));
    EXPECT_FALSE(detector.detectedFinger());
    EXPECT_EQ(detector.holdProgress(), 0.0);
    EXPECT_FALSE(detector.cameraAuthorized());
    EXPECT_FALSE(detector.isDetecting());
    EXPECT_EQ(detector.holdTime(), 1.0);
    EXPECT_EQ(detector.cooldown(), 5.0);
    EXPECT_EQ(detector.captureSession(), nullptr);
    EXPECT_EQ(detector.previewLayer(), nullptr);
    EXPECT_EQ(detector.frameCount(), 0);
    EXPECT_EQ(camera.requests, 0) << "construction must not touch the camera";
}

TEST_F(ModelFixture, FingerTablesHoldTheExactTextsAndColours) {
    EXPECT_EQ(detector.fingerNames(), QStringList({"Thumb", "Index", "Middle", "Ring", "Pinky"}));
    const QStringList icons = detector.fingerIcons();
    ASSERT_EQ(icons.size(), 5);
    EXPECT_EQ(icons[0], QString::fromUcs4(U"\U0001F44D"));
    EXPECT_EQ(icons[1], QString::fromUcs4(U"\u261D\uFE0F"));
    EXPECT_EQ(icons[2], QString::fromUcs4(U"\U0001F595"));
    EXPECT_EQ(icons[3], QString::fromUcs4(U"\U0001F48D"));
    EXPECT_EQ(icons[4], QString::fromUcs4(U"\U0001F919"));
    const int utf8Bytes[] = {4, 6, 4, 4, 4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(icons[i].toUtf8().size(), utf8Bytes[i]) << "icon " << i;
    EXPECT_EQ(detector.fingerColorNames(),
              QStringList({"#8b5cf6", "#3b82f6", "#10b981", "#f59e0b", "#ec4899"}));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(detector.mapping(i).toStdString(), kInitialMappings[i]);
}

TEST_F(ModelFixture, EveryObservableStoreAnnouncesBeforeItStores) {
    // The announcement must come while the old value is still in place.
    std::vector<QString> seenAtAnnouncement;
    QObject::connect(&detector, &HandDetector::objectWillChange,
                     [&] { seenAtAnnouncement.push_back(detector.statusText()); });
    QSignalSpy statusChanged(&detector, &HandDetector::statusTextChanged);

    detector.stop(); // writes all the detection state and the texts
    ASSERT_FALSE(seenAtAnnouncement.empty());
    EXPECT_EQ(detector.statusText(), "Stopped");
    // stop() stores isDetecting, detectedFinger, holdProgress, fingerStates, statusText and
    // debugInfo: six announcements, the status one made while "Ready" was still there.
    EXPECT_EQ(seenAtAnnouncement.size(), 6u);
    EXPECT_EQ(seenAtAnnouncement[4], "Ready");
    EXPECT_EQ(seenAtAnnouncement[5], "Stopped");
    EXPECT_EQ(statusChanged.count(), 1);
}

TEST_F(ModelFixture, EqualValuesStillAnnounce) {
    QSignalSpy willChange(&detector, &HandDetector::objectWillChange);
    camera.authorization = CameraAuthorization::Denied;
    detector.checkPermission();
    detector.checkPermission(); // same value again
    EXPECT_EQ(willChange.count(), 2);
}

TEST_F(ModelFixture, SettingsAreSilentAndUsedByTheNextHold) {
    QSignalSpy willChange(&detector, &HandDetector::objectWillChange);
    detector.setHoldTime(2.0);
    detector.setCooldown(15.0);
    detector.setMapping(0, QStringLiteral("Mail"));
    detector.setMapping(3, QString());
    EXPECT_EQ(willChange.count(), 0);
    EXPECT_EQ(detector.mapping(0), "Mail");
    EXPECT_TRUE(detector.mapping(3).isEmpty());
    EXPECT_EQ(detector.mapping(1), "Messages") << "only one element changes";

    detector.updateHold(1);
    clock.advance(1.5);
    detector.updateHold(1);
    EXPECT_TRUE(launcher.opened.empty()) << "hold time of 2 s must apply to the next hold";
    EXPECT_DOUBLE_EQ(detector.holdProgress(), 0.75);
}

TEST_F(ModelFixture, RejectsSettingsThatWouldBreakTheHold) {
    detector.setHoldTime(0.0);
    detector.setHoldTime(-1.0);
    detector.setHoldTime(std::nan(""));
    detector.setMapping(5, QStringLiteral("X"));
    detector.setMapping(-1, QStringLiteral("X"));
    EXPECT_EQ(detector.holdTime(), 1.0);
}
