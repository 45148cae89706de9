// SPDX-License-Identifier: Apache-2.0
// Data texts of any length: each is cut at the width it has, and the window, its column and
// its controls keep their size.
#include "UiHarness.h"
#include "support/SharedData.h"

#include <QQuickWindow>
#include <QTest>
#include <gtest/gtest.h>

namespace palmcue::test {
namespace {

constexpr FingerFlags kIndexOnly{false, true, false, false, false};

// 10,000 characters, with spaces, as a hostile or broken entry's Name could be.
QString longName() {
    QString name;
    while (name.size() < 10'000)
        name += QStringLiteral("Extremely Long Application Name ");
    return name.left(10'000);
}

// Collects Qt's warnings while alive, e.g. a scene that cannot be drawn at its size.
class WarningLog {
public:
    WarningLog() {
        messages().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                // The harness has no icon provider: the picker's icons are expected to fail.
                if (type != QtDebugMsg && type != QtInfoMsg &&
                    !text.contains(QLatin1String("Invalid image provider")))
                    messages().append(text);
            });
    }
    ~WarningLog() { qInstallMessageHandler(previous_); }
    static QStringList& messages() {
        static QStringList list;
        return list;
    }

private:
    QtMessageHandler previous_;
};

// The item's box in window coordinates.
QRectF inWindow(QQuickItem* item) {
    return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
}

// Inside the window's width; when `cut`, also cut rather than shown whole.
void expectInside(UiHarness& ui, const QString& objectName, bool cut = false) {
    SCOPED_TRACE(objectName.toStdString());
    QQuickItem* item = ui.find(objectName);
    ASSERT_NE(item, nullptr);
    const QRectF box = inWindow(item);
    EXPECT_GE(box.left(), 0.0);
    EXPECT_LE(box.right(), ui.view().width());
    if (cut) {
        EXPECT_TRUE(item->property("truncated").toBool());
    }
}

void expectCutInside(UiHarness& ui, const QString& objectName) {
    expectInside(ui, objectName, true);
}

void saveShot(UiHarness& ui, const char* name) {
    const QString dir = qEnvironmentVariable("PALMCUE_UI_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        ui.view().grabWindow().save(dir + QStringLiteral("/ui-") + QLatin1String(name) +
                                    QStringLiteral(".png"));
}

TEST(LongTexts, EveryDataTextIsCutAtItsWidthAndTheWindowKeepsItsSize) {
    WarningLog warnings;
    const QString name = longName();
    std::vector<apps::AppInfo> apps = UiHarness::defaultApps();
    apps.insert(apps.begin() + 1, {name, QStringLiteral("/nowhere/long.desktop")});
    UiHarness ui;
    ui.show(apps);
    const int width = ui.view().width();
    const double columnWidth = ui.find(QStringLiteral("mainColumn"))->width();

    ui.detector().setMapping(1, name);
    ASSERT_TRUE(ui.startDetecting());
    ui.detector().launchApp(1); // status and log row carry the name
    ASSERT_TRUE(ui.showHand(kIndexOnly));
    ASSERT_TRUE(ui.shown(QStringLiteral("fingerOverlay")));
    ASSERT_TRUE(ui.settle());
    saveShot(ui, "long-texts");

    EXPECT_EQ(ui.view().width(), width);
    EXPECT_EQ(ui.root()->width(), width);
    EXPECT_EQ(ui.find(QStringLiteral("mainColumn"))->width(), columnWidth);
    EXPECT_EQ(ui.find(QStringLiteral("previewArea"))->width(), columnWidth);
    expectCutInside(ui, QStringLiteral("statusText"));
    expectCutInside(ui, QStringLiteral("fingerLabelText"));
    expectCutInside(ui, QStringLiteral("fingerApp1"));
    expectCutInside(ui, QStringLiteral("logApp"));
    for (int finger = 0; finger < 5; ++finger)
        expectInside(ui, QStringLiteral("chevron%1").arg(finger));
    expectInside(ui, QStringLiteral("holdTimeControl"));
    expectInside(ui, QStringLiteral("cooldownControl"));
    // The label stays one line.
    EXPECT_LT(ui.find(QStringLiteral("fingerLabel"))->height(), 30.0);
    ui.reveal(ui.find(QStringLiteral("logCard")));
    saveShot(ui, "long-texts-log");

    // The picker's row for the long name is cut inside the picker.
    ui.click(QStringLiteral("chevron1"));
    ASSERT_TRUE(waitUntil([&] { return ui.shown(QStringLiteral("pickerList")); }));
    ASSERT_TRUE(ui.settle());
    saveShot(ui, "long-texts-picker");
    QQuickItem* list = ui.find(QStringLiteral("pickerList"));
    const QRectF listBox = inWindow(list);
    QQuickItem* row = ui.find(QStringLiteral("pickerName_1"));
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->property("truncated").toBool());
    EXPECT_LE(inWindow(row).right(), listBox.right());
    EXPECT_TRUE(ui.shown(QStringLiteral("pickerCheck_1")));
    EXPECT_LE(inWindow(ui.find(QStringLiteral("pickerCheck_1"))).right(), listBox.right());

    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join('\n').toStdString();
}

TEST(LongTexts, LongStatusFromTheCameraIsCutAndShortOnesStayCentred) {
    UiHarness ui;
    ui.camera.buildFailure = failure(CameraFault::CameraError, longName().toStdString());
    ui.show();
    ui.detector().start();
    ASSERT_TRUE(ui.settle());
    expectCutInside(ui, QStringLiteral("statusText"));
    EXPECT_EQ(ui.view().width(), ui.root()->width());

    // A short text is whole and centred under the picture.
    ui.camera.buildFailure = failure(CameraFault::NoCamera, "no camera is connected");
    ui.detector().start();
    ASSERT_TRUE(ui.settle());
    QQuickItem* status = ui.find(QStringLiteral("statusText"));
    EXPECT_FALSE(status->property("truncated").toBool());
    const QRectF row = inWindow(ui.find(QStringLiteral("statusRow")));
    const QRectF area = inWindow(ui.find(QStringLiteral("previewArea")));
    EXPECT_NEAR(row.center().x(), area.center().x(), 1.0);
}

} // namespace
} // namespace palmcue::test
