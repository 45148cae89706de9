// Palm&Cue: opens the application mapped to a finger held up to the camera.
#include "PalmcueApp/AppDelegate.h"
#include "PalmcueApp/CommandLine.h"
#include "PalmcueApp/QuitOnSignal.h"
#include "PalmcueApp/SingleInstance.h"
#include "PalmcueApp/TrayIcon.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

void printError(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const auto commandLine = palmcue::shell::CommandLine::parse(arguments);
    if (!commandLine.isValid()) {
        printError(commandLine.error());
        return 2;
    }

    // Qt sees no arguments: the option above is the program's whole command line.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("palmcue"));
    QApplication::setApplicationDisplayName(QStringLiteral("Palm&Cue"));
    QApplication::setDesktopFileName(QStringLiteral(PALMCUE_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/palmcue/" PALMCUE_APP_ID ".svg")));
    // The window only hides on close; the program ends from the tray menu or with the session.
    QApplication::setQuitOnLastWindowClosed(false);

    palmcue::shell::SingleInstance instance(palmcue::shell::SingleInstance::defaultSocketPath());
    switch (instance.claim()) {
    case palmcue::shell::SingleInstance::Role::Secondary:
        return 0;
    case palmcue::shell::SingleInstance::Role::Failed:
        // Still usable, only not reachable by a second start.
        printError(QStringLiteral("palmcue: ") + instance.error());
        break;
    case palmcue::shell::SingleInstance::Role::Primary:
        break;
    }

    palmcue::shell::QuitOnSignal quitOnSignal;
    palmcue::shell::AppDelegate delegate({commandLine.cameraFile()});
    QObject::connect(&instance, &palmcue::shell::SingleInstance::showRequested, &delegate,
                     &palmcue::shell::AppDelegate::reopen);

    std::unique_ptr<palmcue::shell::TrayIcon> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray = std::make_unique<palmcue::shell::TrayIcon>(QApplication::windowIcon());
        QObject::connect(tray.get(), &palmcue::shell::TrayIcon::showRequested, &delegate,
                         &palmcue::shell::AppDelegate::reopen);
        QObject::connect(tray.get(), &palmcue::shell::TrayIcon::quitRequested, &application,
                         &QApplication::quit);
    }

    // The window is built once the event loop runs, as a finished launch.
    QTimer::singleShot(0, &delegate, [&delegate] {
        if (!delegate.applicationDidFinishLaunching()) {
            printError(QStringLiteral("palmcue: ") + delegate.error());
            QApplication::exit(1);
        }
    });
    return QApplication::exec();
}
