// SPDX-License-Identifier: Apache-2.0
// The real main view over a real HandDetector built on fakes, in an offscreen QQuickView.
#pragma once

#include "apps/AppInfo.h"
#include "engine/HandDetector.h"
#include "support/EngineFakes.h"
#include "ui/CameraSettingsPage.h"

#include <QQuickItem>
#include <QQuickView>
#include <memory>
#include <vector>

namespace palmcue::test {

class UiHarness {
public:
    // Sets up the services only; show() builds the view, so that a test can set the camera
    // permission first.
    UiHarness();
    ~UiHarness(); // the view and its engine go before the detector

    void show(std::vector<apps::AppInfo> apps = defaultApps(),
              ui::CameraSettingsPage* desktop = nullptr, QSize size = {});

    static std::vector<apps::AppInfo> defaultApps();
    // A hand whose fingers stand as `raised` says, all joints confident.
    static HandObservation hand(const FingerFlags& raised);

    HandDetector& detector() { return *detector_; }
    QQuickView& view() { return *view_; }
    QQuickItem* root() { return view_->rootObject(); }

    // The first item with this objectName anywhere under the window, popups included.
    QQuickItem* find(const QString& objectName) const;
    bool shown(const QString& objectName) const; // exists and is effectively visible
    QString text(QQuickItem* item) const { return item->property("text").toString(); }
    QColor color(QQuickItem* item) const { return item->property("color").value<QColor>(); }
    // Scrolls the column so that the item is inside the window, then clicks its centre.
    void click(QQuickItem* item);
    void reveal(QQuickItem* item);
    void click(const QString& objectName);

    // Lets pending layouts run, as they would before the next frame is drawn.
    bool settle();

    // start() with the fake camera, then wait until the session reports running.
    bool startDetecting();
    // Three frames, so that exactly one is analysed with `outcome`, then the main-thread update.
    bool analyse(const HandPoseResult& outcome);
    bool showHand(const FingerFlags& raised);

    FakeCamera camera;
    FakeLauncher launcher;
    FakeClock clock;
    std::shared_ptr<FakeHandPose> handPose = std::make_shared<FakeHandPose>();

private:
    std::unique_ptr<HandDetector> detector_;
    std::unique_ptr<QQuickView> view_;
};

} // namespace palmcue::test
