// SPDX-License-Identifier: Apache-2.0
#include "UiHarness.h"

#include "support/QuickItems.h"
#include "support/SharedData.h"
#include "ui/AppListModel.h"
#include "ui/MainViewSource.h"

#include <QQmlEngine>
#include <QTest>
#include <QtQuickTest/quicktest.h>
#include <algorithm>
#include <gtest/gtest.h>

namespace palmcue::test {

UiHarness::UiHarness()
    : detector_(
          std::make_unique<HandDetector>(DetectorServices{handPose, &camera, &launcher, &clock})) {}

UiHarness::~UiHarness() {
    view_.reset();
    detector_.reset();
}

void UiHarness::show(std::vector<apps::AppInfo> apps, ui::CameraSettingsPage* desktop, QSize size) {
    view_ = std::make_unique<QQuickView>();
    view_->setResizeMode(QQuickView::SizeRootObjectToView);
    auto* appList = new ui::AppListModel(std::move(apps), view_.get());
    view_->setInitialProperties({{QStringLiteral("detector"), QVariant::fromValue(detector_.get())},
                                 {QStringLiteral("apps"), QVariant::fromValue(appList)},
                                 {QStringLiteral("desktop"), QVariant::fromValue(desktop)}});
    view_->setSource(ui::mainViewSource(*view_->engine()));
    if (size.isValid())
        view_->resize(size);
    view_->show();
    (void)QTest::qWaitForWindowExposed(view_.get());
    settle();
}

std::vector<apps::AppInfo> UiHarness::defaultApps() {
    const auto app = [](const char* name, const char* path) {
        return apps::AppInfo{QString::fromUtf8(name), QString::fromUtf8(path)};
    };
    return {app("Calculator", "/usr/share/applications/calc.desktop"),
            app("Mail", "/usr/share/applications/mail.desktop"),
            app("Music", "/usr/share/applications/music.desktop"),
            app("Music", "/home/user/.local/share/applications/music.desktop"),
            app("Notes", "/usr/share/applications/notes.desktop")};
}

HandObservation UiHarness::hand(const FingerFlags& raised) {
    HandObservation hand;
    hand.confidence = 0.93f;
    const auto put = [&hand](JointName joint, double x, double y) {
        hand.setPoint(joint, {{x, y}, 0.9f});
    };
    put(JointName::Wrist, 0.5, 0.1);
    put(JointName::ThumbCMC, 0.47, 0.2);
    put(JointName::ThumbMP, 0.45, 0.3);
    put(JointName::ThumbIP, 0.42, 0.35);
    // Folded: close to the palm and below the IP joint; raised: above it.
    put(JointName::ThumbTip, 0.43, raised[0] ? 0.45 : 0.3);
    const JointName tips[] = {JointName::IndexTip, JointName::MiddleTip, JointName::RingTip,
                              JointName::LittleTip};
    for (int k = 0; k < 4; ++k) {
        const double x = 0.4 + 0.07 * k;
        const auto mcp = static_cast<JointName>(static_cast<int>(tips[k]) - 3);
        put(mcp, x, 0.5);
        put(static_cast<JointName>(static_cast<int>(tips[k]) - 2), x, 0.6);
        put(static_cast<JointName>(static_cast<int>(tips[k]) - 1), x, 0.7);
        put(tips[k], x, raised[k + 1] ? 0.8 : 0.4);
    }
    return hand;
}

QQuickItem* UiHarness::find(const QString& objectName) const {
    return findItem(view_->contentItem(), objectName);
}

bool UiHarness::shown(const QString& objectName) const {
    QQuickItem* item = find(objectName);
    return item && item->isVisible();
}

void UiHarness::click(QQuickItem* item) {
    reveal(item);
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(view_.get(), Qt::LeftButton, {}, centre.toPoint());
}

void UiHarness::click(const QString& objectName) {
    QQuickItem* item = find(objectName);
    if (!item) {
        ADD_FAILURE() << "no item " << objectName.toStdString();
        return;
    }
    click(item);
}

void UiHarness::reveal(QQuickItem* item) {
    settle(); // positions are those of the last layout pass
    QQuickItem* scroll = item;
    while (scroll && scroll->objectName() != QLatin1String("mainScroll"))
        scroll = scroll->parentItem();
    if (!scroll)
        return;
    auto* content = scroll->property("contentItem").value<QQuickItem*>();
    const double top = item->mapToItem(content, QPointF(0, 0)).y();
    const double contentY = scroll->property("contentY").toDouble();
    if (top >= contentY && top + item->height() <= contentY + scroll->height())
        return;
    const double maxY = scroll->property("contentHeight").toDouble() - scroll->height();
    scroll->setProperty("contentY", std::clamp(top - 16.0, 0.0, std::max(0.0, maxY)));
    settle();
}

bool UiHarness::settle() {
    return QQuickTest::qWaitForPolish(view_.get());
}

bool UiHarness::startDetecting() {
    detector_->start();
    return waitUntil([this] { return detector_->isDetecting(); });
}

bool UiHarness::analyse(const HandPoseResult& outcome) {
    handPose->fallback = outcome;
    const std::int64_t before = detector_->frameCount();
    const SampleBuffer frame{std::make_shared<FakePixelBuffer>()};
    // Only every third counted frame is analysed.
    while (detector_->frameCount() < before + 3 || detector_->frameCount() % 3 != 0)
        detector_->captureOutput(frame);
    bool updated = false;
    auto connection = QObject::connect(detector_.get(), &HandDetector::debugInfoChanged,
                                       [&updated] { updated = true; });
    const bool ok = waitUntil([&updated] { return updated; });
    QObject::disconnect(connection);
    return ok && settle();
}

bool UiHarness::showHand(const FingerFlags& raised) {
    return analyse(oneHand(hand(raised)));
}

} // namespace palmcue::test
