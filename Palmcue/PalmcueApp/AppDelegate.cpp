// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/AppDelegate.h"

#include "PalmcueApp/DesktopSettings.h"
#include "PalmcueApp/HeapTrim.h"
#include "PalmcueApp/SceneGraphChoice.h"
#include "PalmcueApp/StartupReport.h"
#include "apps/AppLauncher.h"
#include "apps/SystemClock.h"
#include "camera/FileCameraService.h"
#include "camera/QtCameraService.h"
#include "desktop/AppIconProvider.h"
#include "desktop/GioNaming.h"
#include "desktop/GioWorkspace.h"
#include "engine/HandDetector.h"
#include "handpose/MediaPipeHandPose.h"
#include "ui/AppListModel.h"
#include "ui/MainViewSource.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickView>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <atomic>

namespace palmcue::shell {

namespace {

QString describe(const QList<QQmlError>& errors) {
    QStringList lines;
    for (const QQmlError& error : errors)
        lines << error.toString();
    return lines.join(QLatin1Char('\n'));
}

} // namespace

AppDelegate::AppDelegate(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {}

AppDelegate::~AppDelegate() {
    // The view's bindings refer to the detector: the engine must go before it.
    mainWindow_.reset();
    detector_.reset();
}

bool AppDelegate::applicationDidFinishLaunching() {
    if (mainWindow_)
        return true;

    if (options_.cameraFile)
        camera_ = std::make_unique<camera::FileCameraService>(*options_.cameraFile);
    else
        camera_ =
            std::make_unique<camera::QtCameraService>(camera::CameraPermission(), options_.camera);
    workspace_ = std::make_unique<desktop::GioWorkspace>();
    launcher_ =
        std::make_unique<apps::AppLauncher>(*workspace_, [] { return desktop::installedApps(); });
    clock_ = std::make_unique<apps::SystemClock>();
    const handpose::MediaPipeHandPose::Options handPoseOptions;
    handPose_ = std::make_shared<handpose::MediaPipeHandPose>(handPoseOptions);
    detector_ = std::make_unique<HandDetector>(
        DetectorServices{handPose_, camera_.get(), launcher_.get(), clock_.get()});
    desktopSettings_ = std::make_unique<DesktopSettings>();
    heapTrim_ = std::make_unique<HeapTrim>();
    connect(detector_.get(), &HandDetector::isDetectingChanged, heapTrim_.get(),
            [detector = detector_.get(), trim = heapTrim_.get()] {
                if (!detector->isDetecting())
                    trim->afterStop();
            });

    StartupReport::sceneGraphChosen(SceneGraphChoice::choose().describe());
    auto window = std::make_unique<QQuickView>();
    window->setTitle(QStringLiteral("Palm&Cue"));
    window->setResizeMode(QQuickView::SizeRootObjectToView);
    window->engine()->addImageProvider(QStringLiteral("appicon"), new desktop::AppIconProvider);
    // The picker's list, read once; it lives as long as the window.
    auto* appList = new ui::AppListModel(desktop::installedApps(), window.get());
    window->setInitialProperties(
        {{QStringLiteral("detector"), QVariant::fromValue<QObject*>(detector_.get())},
         {QStringLiteral("apps"), QVariant::fromValue<QObject*>(appList)},
         {QStringLiteral("desktop"), QVariant::fromValue<QObject*>(desktopSettings_.get())}});
    window->setSource(ui::mainViewSource(*window->engine()));
    if (window->status() != QQuickView::Ready) {
        error_ = QStringLiteral("cannot load the main view:\n") + describe(window->errors());
        return false;
    }

    QRect frame(QPoint(), kContentSize);
    if (const QScreen* screen = window->screen())
        frame.moveCenter(screen->availableGeometry().center());
    window->setGeometry(frame);
    window->setMinimumSize(kMinimumSize);
    window->installEventFilter(this);
    watchWindow(window.get());
    StartupReport::watch(window.get());

    window->show();
    window->requestActivate();
    mainWindow_ = std::move(window);
    loadModelsInBackground(handPoseOptions.modelDir);
    return true;
}

void AppDelegate::loadModelsInBackground(const std::string& modelDir) {
    // The models load on the detection thread while the user looks at the window, so that the
    // first frames after Start are analysed at once. A model that fails to load is reported
    // by the detector's first analysis.
    detector_->detectQueue().post([handPose = handPose_, modelDir] {
        QElapsedTimer timer;
        timer.start();
        const auto loaded = handPose->load(); // before the clock is read
        StartupReport::modelsLoaded(double(timer.nsecsElapsed()) / 1e6, modelDir, loaded);
    });
}

bool AppDelegate::detectionThreadIdle(int waitMs) {
    if (!detector_)
        return true;
    // The queue is serial: this runs once everything posted before it has.
    auto reached = std::make_shared<std::atomic<bool>>(false);
    detector_->detectQueue().post([reached] { reached->store(true, std::memory_order_release); });
    const QDeadlineTimer deadline(waitMs);
    while (!reached->load(std::memory_order_acquire)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
    return true;
}

void AppDelegate::watchWindow(QQuickView* window) {
    // The desktop's usual quit key; the window itself has no menu to carry it.
    auto* quitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window);
    connect(quitKey, &QShortcut::activated, this, &AppDelegate::quit);

    // Access granted outside the program shows once the window is seen again: shown after a
    // close or minimise, or, while the permission screen is up, back in front after the user
    // went to another program (the settings, a terminal) to grant it.
    connect(window, &QWindow::visibilityChanged, this,
            [this, hidden = true](QWindow::Visibility visibility) mutable {
                const bool nowHidden =
                    visibility == QWindow::Hidden || visibility == QWindow::Minimized;
                if (hidden && !nowHidden)
                    detector_->checkPermission();
                hidden = nowHidden;
            });
    connect(window, &QWindow::activeChanged, this, [this, window] {
        if (window->isActive() && !detector_->cameraAuthorized())
            detector_->checkPermission();
    });
}

void AppDelegate::reopen() {
    if (!mainWindow_)
        return;
    // Minimised, or on another workspace, counts as not shown: the user cannot see it.
    if (mainWindow_->isVisible() && mainWindow_->isExposed() &&
        !mainWindow_->windowStates().testFlag(Qt::WindowMinimized))
        return;
    mainWindow_->setWindowStates(mainWindow_->windowStates() & ~Qt::WindowMinimized);
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->requestActivate();
}

void AppDelegate::quit() {
    if (detector_ && (detector_->isDetecting() || detector_->captureSession()))
        detector_->stop();
    // exit(), not quit(): quit() first asks every window to close, and ours only hides.
    QCoreApplication::exit(0);
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (mainWindow_ && watched == mainWindow_.get() && event->type() == QEvent::Close) {
        // Hidden, not destroyed: the view, its state and a running camera stay as they are.
        event->ignore();
        mainWindow_->hide();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace palmcue::shell
