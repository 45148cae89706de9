// SPDX-License-Identifier: Apache-2.0
// Owns the program's one window and everything behind it: the real services, the one
// HandDetector and the Qt Quick view of the main screen. The window is built once and kept
// for the life of the program; closing it only hides it, and detection goes on meanwhile.
#pragma once

#include <QCameraDevice>
#include <QObject>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>
#include <string>

class QQuickView;

namespace palmcue {
class CameraService;
class HandDetector;
namespace apps {
class AppLauncher;
class SystemClock;
} // namespace apps
namespace desktop {
class GioWorkspace;
} // namespace desktop
namespace handpose {
class MediaPipeHandPose;
} // namespace handpose
} // namespace palmcue

namespace palmcue::shell {

class DesktopSettings;
class HeapTrim;

class AppDelegate : public QObject {
    Q_OBJECT

public:
    struct Options {
        std::optional<QString> cameraFile = std::nullopt;   // a picture or video as the camera
        std::optional<QCameraDevice> camera = std::nullopt; // this camera, not the default one
    };

    static constexpr QSize kContentSize{620, 760};
    static constexpr QSize kMinimumSize{520, 640};

    explicit AppDelegate(Options options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Builds the services, the detector and the window, then shows the window. Runs once,
    // from the event loop; returns false (see error()) when the main view cannot be loaded.
    bool applicationDidFinishLaunching();
    QString error() const { return error_; }

    // Shows the window again after it was closed; a visible window is left as it is.
    void reopen();

    // Ends the program: stops the camera as Stop does, then leaves the event loop. Ctrl+Q in
    // the window, the tray's Quit, `palmcue --quit` and the end-of-session signals come here.
    void quit();

    // Whether the detection thread has finished what it was doing within `waitMs`. Loading
    // the models or analysing a frame cannot be cut short, and on a busy machine either may
    // take seconds; a program that is ending need not wait for them.
    bool detectionThreadIdle(int waitMs);

    QQuickView* mainWindow() const { return mainWindow_.get(); }
    HandDetector* detector() const { return detector_.get(); }
    handpose::MediaPipeHandPose* handPose() const { return handPose_.get(); }
    DesktopSettings* desktopSettings() const { return desktopSettings_.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadModelsInBackground(const std::string& modelDir);
    void watchWindow(QQuickView* window);

    Options options_;
    QString error_;

    // Declared in the order of construction; the window (and its QML engine) goes first,
    // then the detector, then the services it uses.
    std::unique_ptr<CameraService> camera_;
    std::unique_ptr<desktop::GioWorkspace> workspace_;
    std::unique_ptr<apps::AppLauncher> launcher_;
    std::unique_ptr<apps::SystemClock> clock_;
    std::shared_ptr<handpose::MediaPipeHandPose> handPose_;
    std::unique_ptr<HandDetector> detector_;
    std::unique_ptr<DesktopSettings> desktopSettings_;
    std::unique_ptr<HeapTrim> heapTrim_;
    std::unique_ptr<QQuickView> mainWindow_;
};

} // namespace palmcue::shell
