// SPDX-License-Identifier: Apache-2.0
// The whole program in one process: the window with the real camera-file, hand-pose, launcher
// and clock services, a photo held in front of the "camera", and a real desktop entry that
// leaves a mark when it is launched.
#include "PalmcueApp/AppDelegate.h"
#include "ShellTestSupport.h"
#include "engine/HandDetector.h"
#include "support/SharedData.h"

#include <QQuickView>
#include <QTest>
#include <gtest/gtest.h>

using palmcue::shell::AppDelegate;
using namespace palmcue::test;
using namespace std::chrono_literals;

namespace {

// Generous bounds for a loaded 2-core machine; reaching them means something is broken.
constexpr int kFirstLaunchWaitMs = 20000;
constexpr int kSecondLaunchWaitMs = 30000;

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
        if (!handModelsPresent())
            GTEST_SKIP() << "the hand models are not present";
        ASSERT_TRUE(messages_.isValid());
    }

    // Builds the window on `photo` and clicks Start, as a user does.
    void startWith(const QString& photoName) {
        delegate_ = std::make_unique<AppDelegate>(
            AppDelegate::Options{*sharedHandsDir() + QLatin1Char('/') + photoName});
        ASSERT_TRUE(delegate_->applicationDidFinishLaunching()) << delegate_->error().toStdString();
        window_ = delegate_->mainWindow();
        detector_ = delegate_->detector();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
        QQuickItem* button = findItem(window_->rootObject(), QStringLiteral("startStopButton"));
        ASSERT_NE(button, nullptr);
        clickItem(window_, button);
        ASSERT_TRUE(waitUntil([&] { return detector_->isDetecting(); }))
            << detector_->statusText().toStdString();
    }

    // The texts of the launch log card's rows, top row first, as "finger|app".
    QStringList logCardRows() const {
        QStringList rows;
        QQuickItem* card = findItem(window_->rootObject(), QStringLiteral("logCard"));
        if (!card || !card->isVisible())
            return rows;
        for (int i = 0;; ++i) {
            QQuickItem* row = findItem(card, QStringLiteral("logRow_%1").arg(i));
            if (!row)
                break;
            rows << findItem(row, QStringLiteral("logFinger"))->property("text").toString() +
                        QLatin1Char('|') +
                        findItem(row, QStringLiteral("logApp"))->property("text").toString();
        }
        return rows;
    }

    bool logCardShown() const {
        QQuickItem* card = findItem(window_->rootObject(), QStringLiteral("logCard"));
        return card && card->isVisible();
    }

    QString statusShown() const {
        QQuickItem* status = findItem(window_->rootObject(), QStringLiteral("statusText"));
        return status ? status->property("text").toString() : QString();
    }

    MessagesApplication messages_;
    std::unique_ptr<AppDelegate> delegate_;
    QQuickView* window_ = nullptr;
    palmcue::HandDetector* detector_ = nullptr;
};

} // namespace

TEST_F(EndToEndTest, AHeldIndexFingerOpensMessagesOncePerCooldown) {
    ASSERT_NO_FATAL_FAILURE(startWith(QStringLiteral("one_hagrid_01.jpg")));
    const QString marker = messages_.markerPath();

    ASSERT_TRUE(waitUntil([&] { return lineCount(marker) >= 1; }, kFirstLaunchWaitMs))
        << "status: " << detector_->statusText().toStdString()
        << " debug: " << detector_->debugInfo().toStdString();
    EXPECT_EQ(lineCount(marker), 1);
    EXPECT_EQ(detector_->statusText(), QStringLiteral("Launched Messages (Index)"));
    EXPECT_TRUE(
        waitUntil([&] { return statusShown() == QStringLiteral("Launched Messages (Index)"); }));
    ASSERT_EQ(detector_->launchLog().size(), 1u);
    EXPECT_TRUE(waitUntil([&] { return logCardRows().size() == 1; }));
    ASSERT_EQ(logCardRows().size(), 1);
    EXPECT_TRUE(logCardRows()[0].contains(QStringLiteral("Index")))
        << logCardRows()[0].toStdString();
    EXPECT_TRUE(logCardRows()[0].endsWith(QStringLiteral("|Messages")));
    const auto firstLaunch = detector_->lastLaunch(1);
    ASSERT_TRUE(firstLaunch);

    // The finger stays up: the next launch waits out the cooldown.
    ASSERT_TRUE(waitUntil([&] { return lineCount(marker) >= 2; }, kSecondLaunchWaitMs));
    const auto secondLaunch = detector_->lastLaunch(1);
    ASSERT_TRUE(secondLaunch);
    EXPECT_GE(*secondLaunch - *firstLaunch, std::chrono::duration<double>(detector_->cooldown()));
    EXPECT_EQ(detector_->launchLog().size(), 2u);
    EXPECT_TRUE(waitUntil([&] { return logCardRows().size() == 2; }));
}

TEST_F(EndToEndTest, TwoRaisedFingersOpenNothing) {
    ASSERT_NO_FATAL_FAILURE(startWith(QStringLiteral("peace_hagrid_01.jpg")));
    int mostRaised = 0;
    QObject scope; // the connection ends with this test's scope, before the detector goes
    QObject::connect(detector_, &palmcue::HandDetector::fingerStatesChanged, &scope, [&] {
        const auto& flags = detector_->fingerStates();
        mostRaised = std::max(mostRaised, int(std::count(flags.begin(), flags.end(), true)));
    });
    // Long enough for several holds and a launch, were one finger seen.
    waitUntil([] { return false; }, 4000);
    EXPECT_GE(mostRaised, 2) << "debug: " << detector_->debugInfo().toStdString();
    EXPECT_EQ(lineCount(messages_.markerPath()), 0);
    EXPECT_TRUE(detector_->launchLog().empty());
    EXPECT_FALSE(logCardShown());
}
