// SPDX-License-Identifier: Apache-2.0
// The one main window: its geometry, what the main view is given, that closing only hides it
// while detection goes on, that showing it again checks the camera permission, Ctrl+Q, and
// which GL counts as drawn by the CPU when the scene graph is chosen.
#include "PalmcueApp/AppDelegate.h"

#include "PalmcueApp/DesktopSettings.h"
#include "PalmcueApp/HeapTrim.h"
#include "PalmcueApp/SceneGraphChoice.h"
#include "ShellTestSupport.h"
#include "engine/HandDetector.h"
#include "support/SharedData.h"
#include "ui/AppListModel.h"

#include <QQuickView>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>

using palmcue::shell::AppDelegate;
using namespace palmcue::test;

namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    void launch(AppDelegate::Options options = {}) {
        ASSERT_TRUE(apps_.isValid());
        delegate_ = std::make_unique<AppDelegate>(std::move(options));
        ASSERT_TRUE(delegate_->applicationDidFinishLaunching()) << delegate_->error().toStdString();
        window_ = delegate_->mainWindow();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }

    // With a labelled hand photo as the camera.
    void launchWithPhoto() {
        const auto photos = labelledPhotos();
        ASSERT_FALSE(photos.empty());
        launch({photos.front().file});
    }

    MessagesApplication apps_;
    std::unique_ptr<AppDelegate> delegate_;
    QQuickView* window_ = nullptr;
};

} // namespace

TEST_F(AppDelegateTest, BuildsOneCentredWindowHoldingTheMainView) {
    ASSERT_NO_FATAL_FAILURE(launch());
    EXPECT_EQ(window_->title(), QStringLiteral("Palm&Cue"));
    EXPECT_EQ(window_->size(), QSize(620, 760));
    EXPECT_EQ(window_->minimumSize(), QSize(520, 640));
    EXPECT_EQ(window_->geometry().center(), window_->screen()->availableGeometry().center());

    QQuickItem* root = window_->rootObject();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->size(), QSizeF(620, 760)); // the view follows the window
    EXPECT_EQ(root->property("detector").value<QObject*>(), delegate_->detector());
    EXPECT_EQ(root->property("desktop").value<QObject*>(), delegate_->desktopSettings());
    // The picker's list: the installed applications, read when the window was built.
    const auto* appList =
        qobject_cast<palmcue::ui::AppListModel*>(root->property("apps").value<QObject*>());
    ASSERT_NE(appList, nullptr);
    const auto& apps = appList->apps();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].name, QStringLiteral("Messages"));
    EXPECT_TRUE(apps[0].path.endsWith(QStringLiteral("/applications/messages.desktop")));

    // Launching is finished once: a second call builds nothing new.
    palmcue::HandDetector* detector = delegate_->detector();
    EXPECT_TRUE(delegate_->applicationDidFinishLaunching());
    EXPECT_EQ(delegate_->mainWindow(), window_);
    EXPECT_EQ(delegate_->detector(), detector);

    // Resizing makes the view follow.
    window_->resize(700, 800);
    EXPECT_TRUE(waitUntil([&] { return root->size() == QSizeF(700, 800); }));
}

TEST_F(AppDelegateTest, ClosingHidesTheWindowAndReopeningShowsItAsItWas) {
    ASSERT_NO_FATAL_FAILURE(launch());
    QQuickItem* root = window_->rootObject();
    root->setProperty("pickerFinger", 3);

    window_->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(delegate_->mainWindow(), window_);
    EXPECT_EQ(window_->rootObject(), root);

    delegate_->reopen();
    EXPECT_TRUE(window_->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    EXPECT_EQ(window_->rootObject(), root);
    EXPECT_EQ(root->property("pickerFinger").toInt(), 3);

    // A visible window is left alone.
    int visibilityChanges = 0;
    // The connection ends with this test's scope: the window, destroyed later, emits too.
    QObject scope;
    QObject::connect(window_, &QWindow::visibilityChanged, &scope, [&] { ++visibilityChanges; });
    const QRect geometry = window_->geometry();
    delegate_->reopen();
    QCoreApplication::processEvents();
    EXPECT_EQ(visibilityChanges, 0);
    EXPECT_EQ(window_->geometry(), geometry);

    // A minimised window counts as not shown.
    window_->showMinimized();
    delegate_->reopen();
    EXPECT_FALSE(window_->windowStates().testFlag(Qt::WindowMinimized));
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(AppDelegateTest, DetectionGoesOnWhileTheWindowIsClosed) {
    PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
    ASSERT_NO_FATAL_FAILURE(launchWithPhoto());
    palmcue::HandDetector* detector = delegate_->detector();

    QQuickItem* button = findItem(window_->rootObject(), QStringLiteral("startStopButton"));
    ASSERT_NE(button, nullptr);
    clickItem(window_, button);
    ASSERT_TRUE(waitUntil([&] { return detector->isDetecting(); }))
        << detector->statusText().toStdString();

    window_->close();
    const auto frames = detector->frameCount();
    EXPECT_TRUE(waitUntil([&] { return detector->frameCount() > frames + 3; }));
    EXPECT_TRUE(detector->isDetecting());
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(AppDelegateTest, ShowingTheWindowAgainChecksTheCameraPermission) {
    ASSERT_NO_FATAL_FAILURE(launch());
    palmcue::HandDetector* detector = delegate_->detector();
    int checks = 0;
    QObject::connect(detector, &palmcue::HandDetector::cameraAuthorizedChanged,
                     [&checks] { ++checks; });

    window_->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(checks, 0);
    delegate_->reopen();
    EXPECT_TRUE(waitUntil([&] { return checks == 1; }));

    window_->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return window_->visibility() == QWindow::Minimized; }));
    delegate_->reopen();
    EXPECT_TRUE(waitUntil([&] { return checks == 2; }));
}

TEST_F(AppDelegateTest, CtrlQStopsTheCameraAndEndsTheEventLoop) {
    PALMCUE_SKIP_WITHOUT_SHARED_HANDS();
    ASSERT_NO_FATAL_FAILURE(launchWithPhoto());
    palmcue::HandDetector* detector = delegate_->detector();
    detector->start();
    ASSERT_TRUE(waitUntil([&] { return detector->isDetecting(); }))
        << detector->statusText().toStdString();

    // The shortcut comes while the application's event loop runs; it ends that loop.
    window_->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
    QTimer::singleShot(0, window_, [this] { typeKey(window_, Qt::Key_Q, Qt::ControlModifier); });
    QTimer::singleShot(30000, [] { QCoreApplication::exit(1); }); // bound for a hang
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(detector->isDetecting());
    EXPECT_EQ(detector->captureSession(), nullptr);
    EXPECT_EQ(detector->statusText(), QStringLiteral("Stopped"));
}

TEST_F(AppDelegateTest, AnEndingProgramLearnsWhetherTheDetectionThreadIsBusy) {
    ASSERT_NO_FATAL_FAILURE(launch());
    EXPECT_TRUE(delegate_->detectionThreadIdle(30000)); // the models have loaded

    // A task that does not end until released, as a stalled model load.
    std::atomic<bool> release{false};
    delegate_->detector()->detectQueue().post([&release] {
        while (!release.load())
            QThread::msleep(1);
    });
    EXPECT_FALSE(delegate_->detectionThreadIdle(50));
    release = true;
    EXPECT_TRUE(delegate_->detectionThreadIdle(30000));
}

TEST(SceneGraphChoice, TellsOpenGlOnTheCpuFromAGpu) {
    using palmcue::shell::SceneGraphChoice;
    for (const char* cpu : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer",
                            "Mesa DRI SWR", "LLVMPIPE"})
        EXPECT_TRUE(SceneGraphChoice::isSoftwareRenderer(QString::fromLatin1(cpu))) << cpu;
    for (const char* gpu :
         {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "AMD Radeon RX 6600 (radeonsi)",
          "NVIDIA GeForce GTX 1060/PCIe/SSE2", "virgl", ""})
        EXPECT_FALSE(SceneGraphChoice::isSoftwareRenderer(QString::fromLatin1(gpu))) << gpu;
}

TEST(HeapTrim, TrimsOnceShortlyAfterAStop) {
    palmcue::shell::HeapTrim trim;
    trim.afterStop();
    trim.afterStop(); // a second Stop moves the trim on, it does not add one
    ASSERT_TRUE(palmcue::test::waitUntil([&] { return trim.trims() > 0; }));
    QTest::qWait(palmcue::shell::HeapTrim::kAfterStopMs + 200);
    EXPECT_EQ(trim.trims(), 1);
}
