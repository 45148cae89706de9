// SPDX-License-Identifier: Apache-2.0
// Palm&Cue: opens the application mapped to a finger held up to the camera.
#include "PalmcueApp/AppDelegate.h"
#include "PalmcueApp/CommandLine.h"
#include "PalmcueApp/QuitOnSignal.h"
#include "PalmcueApp/SingleInstance.h"
#include "PalmcueApp/TrayIcon.h"
#include "camera/CameraDevices.h"

#include <QApplication>
#include <QIcon>
#include <QMediaDevices>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// How long an ending program waits for the detection thread before it ends without it.
constexpr int kDetectionWaitMs = 250;

using palmcue::shell::AppDelegate;
using palmcue::shell::CommandLine;
using palmcue::shell::InstanceFolder;
using palmcue::shell::SingleInstance;

void printError(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// `palmcue --quit`: exit status 0 once the running instance has ended, 1 when none runs.
int quitRunningInstance() {
    QString error;
    switch (SingleInstance::requestQuit(InstanceFolder::forThisSession(), error)) {
    case SingleInstance::QuitAnswer::Ended:
        return 0;
    case SingleInstance::QuitAnswer::NotRunning:
        printError(QStringLiteral("palmcue: Palm&Cue is not running"));
        return 1;
    case SingleInstance::QuitAnswer::Failed:
        break;
    }
    printError(QStringLiteral("palmcue: ") + error);
    return 1;
}

// `palmcue --list-cameras`: exit status 0 with the list, 1 when there is no camera. Needs no
// display, so that it works over ssh too.
int listCameras(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QList<QCameraDevice> cameras = QMediaDevices::videoInputs();
    if (cameras.isEmpty()) {
        printError(QStringLiteral("palmcue: no camera found"));
        return 1;
    }
    const QCameraDevice used =
        palmcue::camera::defaultCamera(cameras, QMediaDevices::defaultVideoInput());
    std::printf("%s\n", qPrintable(palmcue::camera::describeCameras(cameras, used)));
    return 0;
}

// The camera --camera names, or why there is none (the list of cameras included).
palmcue::Result<QCameraDevice> namedCamera(const QString& name) {
    return palmcue::camera::findCamera(QMediaDevices::videoInputs(), name);
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const auto commandLine = CommandLine::parse(arguments);
    if (!commandLine.isValid()) {
        printError(commandLine.error());
        return 2;
    }
    switch (commandLine.action()) {
    case CommandLine::Action::Help:
        std::printf("%s\n", qPrintable(CommandLine::help()));
        return 0;
    case CommandLine::Action::Version:
        std::printf("%s\n", qPrintable(CommandLine::version()));
        return 0;
    case CommandLine::Action::Quit:
        return quitRunningInstance();
    case CommandLine::Action::ListCameras:
        return listCameras(1, argv);
    case CommandLine::Action::Run:
        break;
    }

    // Qt sees no arguments: the options above are the program's whole command line.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("palmcue"));
    QApplication::setApplicationDisplayName(QStringLiteral("Palm&Cue"));
    QApplication::setApplicationVersion(QStringLiteral(PALMCUE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(PALMCUE_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/palmcue/" PALMCUE_APP_ID ".svg")));
    // The window only hides on close; the program ends with Ctrl+Q, the tray menu,
    // `palmcue --quit` or the session.
    QApplication::setQuitOnLastWindowClosed(false);

    AppDelegate::Options options{commandLine.cameraFile(), std::nullopt};
    if (const std::optional<QString> name = commandLine.camera()) {
        palmcue::Result<QCameraDevice> camera = namedCamera(*name);
        if (!camera) {
            printError(QStringLiteral("palmcue: ") + QString::fromStdString(camera.error()));
            return 2;
        }
        options.camera = *camera;
    }

    SingleInstance instance(InstanceFolder::forThisSession());
    switch (instance.claim()) {
    case SingleInstance::Role::Secondary:
        if (options.camera || options.cameraFile)
            printError(QStringLiteral("palmcue: Palm&Cue is already running: its window is shown, "
                                      "with the camera it was started with"));
        return 0;
    case SingleInstance::Role::Failed:
        // Still usable, only not reachable by a second start.
        printError(QStringLiteral("palmcue: ") + instance.error());
        break;
    case SingleInstance::Role::Primary:
        break;
    }

    palmcue::shell::QuitOnSignal quitOnSignal;
    AppDelegate delegate(options);
    QObject::connect(&instance, &SingleInstance::showRequested, &delegate, &AppDelegate::reopen);
    QObject::connect(&instance, &SingleInstance::quitRequested, &delegate, &AppDelegate::quit);
    QObject::connect(&quitOnSignal, &palmcue::shell::QuitOnSignal::received, &delegate,
                     &AppDelegate::quit);

    std::unique_ptr<palmcue::shell::TrayIcon> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray = std::make_unique<palmcue::shell::TrayIcon>(QApplication::windowIcon());
        QObject::connect(tray.get(), &palmcue::shell::TrayIcon::showRequested, &delegate,
                         &AppDelegate::reopen);
        QObject::connect(tray.get(), &palmcue::shell::TrayIcon::quitRequested, &delegate,
                         &AppDelegate::quit);
    }

    // The window is built once the event loop runs, as a finished launch.
    QTimer::singleShot(0, &delegate, [&delegate] {
        if (!delegate.applicationDidFinishLaunching()) {
            printError(QStringLiteral("palmcue: ") + delegate.error());
            QApplication::exit(1);
        }
    });
    const int status = QApplication::exec();
    if (!delegate.detectionThreadIdle(kDetectionWaitMs)) {
        // Still loading the models or analysing a frame, which cannot be interrupted, and
        // tearing down would wait for it: seconds on a busy machine. The camera is stopped and
        // nothing is kept between runs, so end now; the kernel releases the socket, its lock
        // and the rest.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
