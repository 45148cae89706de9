// SPDX-License-Identifier: Apache-2.0
// The real QML views over a real HandDetector on fake services, driven by clicks.
#include "FakeDesktop.h"
#include "UiHarness.h"
#include "support/SharedData.h"

#include <QFont>
#include <QQuickWindow>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace palmcue::test {
namespace {

constexpr FingerFlags kIndexOnly{false, true, false, false, false};

QColor withAlpha(const QString& name, double alpha) {
    QColor color(name);
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

// Colours go through 8-bit channels on their way to the scene; compare at that precision.
void expectColor(const QColor& actual, const QColor& expected) {
    EXPECT_EQ(actual.rgba(), expected.rgba())
        << actual.name(QColor::HexArgb).toStdString() << " vs "
        << expected.name(QColor::HexArgb).toStdString();
}

// Pictures for a person to look at; written only when a folder is given.
void saveShot(UiHarness& ui, const char* name) {
    const QString dir = qEnvironmentVariable("PALMCUE_UI_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    ui.view().grabWindow().save(dir + QStringLiteral("/ui-") + QLatin1String(name) +
                                QStringLiteral(".png"));
}

TEST(MainViewFrame, PermissionScreenAndColumnFollowCameraAuthorization) {
    UiHarness ui;
    ui.camera.authorization = CameraAuthorization::Denied;
    ui.show();

    EXPECT_TRUE(ui.shown("headerBar"));
    EXPECT_TRUE(ui.shown("permissionView"));
    EXPECT_EQ(ui.find("mainColumn"), nullptr);
    EXPECT_EQ(ui.find("cameraPreview"), nullptr);
    // The settings button is always there; without a desktop helper it says whom to ask.
    ASSERT_TRUE(ui.shown("openSettingsButton"));
    EXPECT_FALSE(ui.shown("cameraAccessHelp"));
    saveShot(ui, "permission");
    ui.click("openSettingsButton");
    ASSERT_TRUE(ui.shown("cameraAccessHelp"));
    EXPECT_TRUE(ui.text(ui.find("cameraAccessHelp")).contains(QStringLiteral("administrator")));

    // Start without access: the screen stays, the detector asks for access.
    ui.click("startStopButton");
    EXPECT_TRUE(ui.shown("permissionView"));
    EXPECT_EQ(ui.detector().statusText(),
              QStringLiteral("Camera access denied - grant permission first"));

    // Granted from the grant button: the column replaces the screen.
    ui.camera.answerAtOnce = true;
    ui.click("grantButton");
    ASSERT_TRUE(waitUntil([&] { return ui.find("mainColumn") != nullptr; }));
    EXPECT_EQ(ui.find("permissionView"), nullptr);
    EXPECT_TRUE(ui.shown("cameraPreview"));
    EXPECT_TRUE(ui.shown("debugCard"));
    EXPECT_TRUE(ui.shown("fingerGrid"));
    EXPECT_TRUE(ui.shown("settingsCard"));
    EXPECT_FALSE(ui.shown("logCard")); // empty log: no fifth card
}

TEST(MainViewFrame, SettingsButtonOpensTheSettingsOrElseSaysHowToGetAccess) {
    FakeDesktop desktop;
    UiHarness ui;
    ui.camera.authorization = CameraAuthorization::Denied;
    ui.show(UiHarness::defaultApps(), &desktop);
    ASSERT_TRUE(ui.shown("openSettingsButton"));
    ui.click("openSettingsButton");
    EXPECT_EQ(desktop.openCount, 1);
    EXPECT_FALSE(ui.shown("cameraAccessHelp"));

    // No settings program: the button never does nothing.
    FakeDesktop unable;
    unable.canOpen = false;
    UiHarness other;
    other.camera.authorization = CameraAuthorization::Denied;
    other.show(UiHarness::defaultApps(), &unable);
    ASSERT_TRUE(other.shown("openSettingsButton"));
    other.click("openSettingsButton");
    EXPECT_EQ(unable.openCount, 1);
    ASSERT_TRUE(other.shown("cameraAccessHelp"));
    EXPECT_EQ(other.text(other.find("cameraAccessHelp")), unable.help);
    saveShot(other, "permission-help");
}

// Each symbol is drawn at the size its view gives it.
TEST(MainViewFrame, SymbolIconsHaveTheirSizes) {
    const auto icon = [](UiHarness& ui, const QString& file) -> QQuickItem* {
        std::function<QQuickItem*(QQuickItem*)> walk = [&](QQuickItem* item) -> QQuickItem* {
            if (item->property("source").toUrl().toString().endsWith(file) && item->isVisible())
                return item;
            for (QQuickItem* child : item->childItems()) {
                if (QQuickItem* found = walk(child))
                    return found;
            }
            return nullptr;
        };
        QQuickItem* found = walk(ui.view().contentItem());
        EXPECT_NE(found, nullptr) << file.toStdString();
        return found;
    };
    const auto expectSize = [&](UiHarness& ui, const char* file, double size) {
        if (QQuickItem* item = icon(ui, QLatin1String(file))) {
            EXPECT_DOUBLE_EQ(item->width(), size) << file;
            EXPECT_DOUBLE_EQ(item->height(), size) << file;
        }
    };

    UiHarness denied;
    denied.camera.authorization = CameraAuthorization::Denied;
    denied.show();
    expectSize(denied, "icons/video.slash-orange.svg", 44);

    UiHarness ui;
    ui.show();
    expectSize(ui, "icons/hand.raised.fill.svg", 13);
    expectSize(ui, "icons/video.slash-white.svg", 28);
    expectSize(ui, "icons/ladybug.svg", 10);
    expectSize(ui, "icons/chevron.right.svg", 10);
    // The chevron in the secondary colour, that of the header's hint.
    if (QQuickItem* chevron = icon(ui, QStringLiteral("icons/chevron.right.svg")))
        expectColor(ui.color(chevron), ui.color(ui.find("hintText")));
}

TEST(MainViewFrame, StartStopPillFollowsIsDetecting) {
    UiHarness ui;
    ui.show();
    ASSERT_TRUE(ui.shown("mainColumn")); // access granted earlier: no click needed
    saveShot(ui, "idle");

    QQuickItem* text = ui.find("startStopText");
    QQuickItem* background = ui.find("startStopBackground");
    QQuickItem* icon = ui.find("startStopIcon");
    ASSERT_TRUE(text && background && icon);
    EXPECT_EQ(ui.text(text), QStringLiteral("Start"));
    expectColor(ui.color(background), QColor(QStringLiteral("#34c759")));
    EXPECT_TRUE(icon->property("source").toString().endsWith(QStringLiteral("play.fill.svg")));
    EXPECT_EQ(ui.text(ui.find("hintText")), QStringLiteral("Tap Start to begin"));
    EXPECT_TRUE(ui.shown("cameraOffPlaceholder"));
    EXPECT_EQ(ui.text(ui.find("statusText")), QStringLiteral("Ready"));
    expectColor(ui.color(ui.find("statusDot")), QColor(QStringLiteral("#8e8e93")));

    ui.click("startStopButton");
    ASSERT_TRUE(waitUntil([&] { return ui.detector().isDetecting(); }));
    EXPECT_EQ(ui.text(text), QStringLiteral("Stop"));
    expectColor(ui.color(background), QColor(QStringLiteral("#ff3b30")));
    EXPECT_TRUE(icon->property("source").toString().endsWith(QStringLiteral("stop.fill.svg")));
    EXPECT_EQ(ui.text(ui.find("hintText")), QStringLiteral("Show one finger to launch an app"));
    EXPECT_FALSE(ui.shown("cameraOffPlaceholder"));
    EXPECT_TRUE(ui.shown("livePicture"));
    expectColor(ui.color(ui.find("statusDot")), QColor(QStringLiteral("#34c759")));
    EXPECT_EQ(ui.text(ui.find("statusText")), QStringLiteral("Camera active - show your hand"));
    saveShot(ui, "detecting");

    ui.click("startStopButton");
    EXPECT_FALSE(ui.detector().isDetecting());
    EXPECT_EQ(ui.text(text), QStringLiteral("Start"));
    EXPECT_EQ(ui.find("livePicture"), nullptr);
    EXPECT_TRUE(ui.shown("cameraOffPlaceholder"));
}

TEST(CameraPreview, AttachesEachPreviewLayerOnceToTheVideoSink) {
    UiHarness ui;
    ui.show();
    ASSERT_TRUE(ui.startDetecting());
    FakeSession* first = ui.camera.lastSession;
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !first->preview.sinks.empty(); }));
    QQuickItem* picture = ui.find("previewPicture");
    ASSERT_NE(picture, nullptr);
    QObject* sink = picture->property("videoSink").value<QObject*>();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(first->preview.sinks.front().data(), sink);
    // The picture is mirrored and rounded as the panel shows it (its pixels: PreviewScreenTest).
    EXPECT_TRUE(picture->property("mirrored").toBool());
    EXPECT_EQ(picture->property("radius").toDouble(), 12.0);
    EXPECT_EQ(picture->size(), ui.find("previewArea")->size());

    // Frames redraw the panel many times; the layer is not attached again.
    ASSERT_TRUE(ui.showHand(kIndexOnly));
    ASSERT_TRUE(ui.showHand({}));
    QTest::qWait(20);
    EXPECT_EQ(first->preview.sinks.size(), 1u);

    // A new session brings a new layer, attached to the new picture.
    ui.detector().stop();
    ASSERT_TRUE(ui.startDetecting());
    ASSERT_EQ(ui.camera.builds, 2);
    FakeSession* second = ui.camera.lastSession;
    ASSERT_TRUE(waitUntil([&] { return second->preview.sinks.size() == 1; }));
}

TEST(CameraPreview, FingerOverlayOnlyWhileDetectingWithAFinger) {
    UiHarness ui;
    ui.show();
    ASSERT_TRUE(ui.startDetecting());
    EXPECT_EQ(ui.find("fingerOverlay"), nullptr); // no hand yet

    ASSERT_TRUE(ui.showHand(kIndexOnly));
    ASSERT_EQ(ui.detector().detectedFinger(), 1);
    QQuickItem* label = ui.find("fingerLabel");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    const QString expected = QStringLiteral("\u261D\uFE0F Index -> Messages");
    EXPECT_EQ(ui.text(label), expected);
    // What is drawn: the emoji run followed by the text run.
    EXPECT_EQ(ui.text(ui.find("fingerLabelIcon")) + ui.text(ui.find("fingerLabelText")), expected);
    expectColor(ui.color(label), withAlpha(QStringLiteral("#3b82f6"), 0.8));
    // 8 above the bottom of the 240-high area.
    QQuickItem* area = ui.find("previewArea");
    EXPECT_DOUBLE_EQ(label->mapToItem(area, QPointF(0, label->height())).y(), 240.0 - 8.0);
    saveShot(ui, "overlay");

    // Half the hold time later the bar is half full.
    ui.clock.advance(0.5);
    ASSERT_TRUE(ui.showHand(kIndexOnly));
    QQuickItem* bar = ui.find("holdBar");
    QQuickItem* fill = ui.find("holdBarFill");
    ASSERT_TRUE(bar && fill);
    EXPECT_DOUBLE_EQ(fill->width(), bar->width() * 0.5);
    EXPECT_DOUBLE_EQ(bar->height(), 4.0);
    expectColor(ui.color(fill), QColor(QStringLiteral("#3b82f6")));

    // An empty mapping leaves the arrow at the end.
    ui.detector().setMapping(1, QString());
    EXPECT_EQ(ui.text(ui.find("fingerLabel")), QStringLiteral("\u261D\uFE0F Index -> "));

    // Two fingers: no single finger, no overlay.
    ASSERT_TRUE(ui.showHand({false, true, true, false, false}));
    EXPECT_EQ(ui.find("fingerOverlay"), nullptr);
    ASSERT_TRUE(ui.showHand(kIndexOnly));
    EXPECT_NE(ui.find("fingerOverlay"), nullptr);
    ui.click("startStopButton");
    EXPECT_EQ(ui.find("fingerOverlay"), nullptr);
}

TEST(FingerGrid, HighlightsFollowFingerStates) {
    UiHarness ui;
    ui.show();
    const QStringList colors = ui.detector().fingerColorNames();
    for (int i = 0; i < kFingerCount; ++i) {
        expectColor(ui.color(ui.find(QStringLiteral("fingerBadge%1").arg(i))),
                    QColor::fromRgbF(1, 1, 1, 0.05f));
        EXPECT_EQ(ui.find(QStringLiteral("fingerRowFrame%1").arg(i))
                      ->property("border")
                      .value<QObject*>()
                      ->property("color")
                      .value<QColor>()
                      .alpha(),
                  0);
    }

    ASSERT_TRUE(ui.startDetecting());
    ASSERT_TRUE(ui.showHand({false, true, true, false, false}));
    for (int i = 0; i < kFingerCount; ++i) {
        const bool raised = i == 1 || i == 2;
        SCOPED_TRACE(i);
        expectColor(ui.color(ui.find(QStringLiteral("fingerBadge%1").arg(i))),
                    raised ? withAlpha(colors[i], 0.3) : QColor::fromRgbF(1, 1, 1, 0.05f));
        const QColor border = ui.find(QStringLiteral("fingerRowFrame%1").arg(i))
                                  ->property("border")
                                  .value<QObject*>()
                                  ->property("color")
                                  .value<QColor>();
        if (raised)
            expectColor(border, withAlpha(colors[i], 0.4));
        else
            EXPECT_EQ(border.alpha(), 0);
    }
    EXPECT_EQ(ui.text(ui.find("fingerApp3")), QStringLiteral("Music"));
}

TEST(AppPicker, ChoosingWritesOneMappingAndCloses) {
    UiHarness ui;
    ui.show();
    QQuickItem* root = ui.root();

    ui.click("chevron3");
    ASSERT_TRUE(root->property("showPicker").toBool());
    EXPECT_EQ(root->property("pickerFinger").toInt(), 3);
    ASSERT_TRUE(waitUntil([&] { return ui.shown("pickerList") && ui.find("pickerRow_4"); }));
    // What the header draws: its text runs, the emoji in the colour-emoji font.
    QString header;
    QQuickItem* emoji = nullptr;
    for (QQuickItem* run : ui.find("pickerHeader")->childItems().front()->childItems()) {
        header += ui.text(run);
        if (ui.text(run) == QStringLiteral("\U0001F48D"))
            emoji = run;
        EXPECT_TRUE(run->isVisible());
        EXPECT_GT(run->width(), 0.0);
    }
    EXPECT_EQ(header, QStringLiteral("Select app for Ring \U0001F48D"));
    ASSERT_NE(emoji, nullptr);
    EXPECT_EQ(emoji->property("font").value<QFont>().family(), QStringLiteral("Noto Color Emoji"));
    // Both applications named "Music" carry the checkmark, nothing else does.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ui.shown(QStringLiteral("pickerCheck_%1").arg(i)), i == 2 || i == 3) << i;
    QQuickItem* list = ui.find("pickerList");
    EXPECT_DOUBLE_EQ(list->width(), 300.0);
    EXPECT_DOUBLE_EQ(list->height(), 400.0);
    EXPECT_DOUBLE_EQ(ui.find("pickerIcon_0")->width(), 28.0); // no icon provider here
    saveShot(ui, "picker");

    const QStringList before = ui.detector().property("mappings").toStringList();
    ui.click("pickerRow_1"); // Mail
    ASSERT_TRUE(waitUntil([&] { return !ui.shown("pickerList"); }));
    EXPECT_FALSE(root->property("showPicker").toBool());
    QStringList expected = before;
    expected[3] = QStringLiteral("Mail");
    EXPECT_EQ(ui.detector().property("mappings").toStringList(), expected);
    EXPECT_EQ(ui.text(ui.find("fingerApp3")), QStringLiteral("Mail"));

    // The already mapped application: stored again, picker closed.
    ui.click("chevron3");
    ASSERT_TRUE(waitUntil([&] { return ui.shown("pickerCheck_1"); }));
    ui.click("pickerRow_1");
    ASSERT_TRUE(waitUntil([&] { return !ui.shown("pickerList"); }));
    EXPECT_EQ(ui.detector().mapping(3), QStringLiteral("Mail"));
}

TEST(AppPicker, DismissingChangesNothing) {
    UiHarness ui;
    ui.show();
    QQuickItem* root = ui.root();
    const QStringList before = ui.detector().property("mappings").toStringList();

    ui.click("chevron0");
    ASSERT_TRUE(waitUntil([&] { return ui.shown("pickerList"); }));
    QTest::keyClick(&ui.view(), Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !ui.shown("pickerList"); }));
    EXPECT_FALSE(root->property("showPicker").toBool());

    ui.click("chevron4");
    ASSERT_TRUE(waitUntil([&] { return ui.shown("pickerList"); }));
    ui.click("titleText"); // outside the popup
    ASSERT_TRUE(waitUntil([&] { return !ui.shown("pickerList"); }));
    EXPECT_FALSE(root->property("showPicker").toBool());
    EXPECT_EQ(root->property("pickerFinger").toInt(), 4); // keeps its last value
    EXPECT_EQ(ui.detector().property("mappings").toStringList(), before);

    // An unknown mapping shows no checkmark; an empty app list is still 300 x 400.
    UiHarness empty;
    empty.detector().setMapping(0, QStringLiteral("Nowhere"));
    empty.show({});
    empty.click("chevron0");
    ASSERT_TRUE(waitUntil([&] { return empty.shown("pickerList"); }));
    EXPECT_DOUBLE_EQ(empty.find("pickerList")->height(), 400.0);
    EXPECT_EQ(empty.text(empty.find("fingerApp0")), QStringLiteral("Nowhere"));
}

TEST(SettingsCard, SegmentsShowAndWriteExactValues) {
    UiHarness ui;
    ui.show();
    EXPECT_TRUE(ui.find("holdSegment_1.0")->property("checked").toBool());
    EXPECT_TRUE(ui.find("cooldownSegment_5")->property("checked").toBool());
    EXPECT_FALSE(ui.find("holdSegment_0.8")->property("checked").toBool());

    ui.click("holdSegment_0.8");
    EXPECT_EQ(ui.detector().holdTime(), 0.8);
    EXPECT_TRUE(ui.find("holdSegment_0.8")->property("checked").toBool());
    EXPECT_FALSE(ui.find("holdSegment_1.0")->property("checked").toBool());

    ui.click("cooldownSegment_15");
    EXPECT_EQ(ui.detector().cooldown(), 15.0);
    EXPECT_TRUE(ui.find("cooldownSegment_15")->property("checked").toBool());

    // A value not in the list selects nothing.
    ui.detector().setHoldTime(0.7);
    for (const char* caption : {"0.5", "0.8", "1.0", "1.5", "2.0"})
        EXPECT_FALSE(ui.find(QStringLiteral("holdSegment_") + QLatin1String(caption))
                         ->property("checked")
                         .toBool());
}

TEST(LogCard, NewestFirstAndAtMostTen) {
    UiHarness ui;
    ui.show();
    EXPECT_FALSE(ui.shown("logCard"));
    const QStringList names = ui.detector().fingerNames();
    const QStringList mappings = ui.detector().property("mappings").toStringList();

    for (int launch = 1; launch <= 12; ++launch) {
        ui.clock.advance(6.0); // past the 5 s cooldown
        ui.detector().launchApp(launch % kFingerCount);
    }
    ASSERT_TRUE(ui.shown("logCard"));
    EXPECT_EQ(ui.find("logRow_10"), nullptr);
    for (int n = 0; n < 10; ++n) {
        SCOPED_TRACE(n);
        QQuickItem* row = ui.find(QStringLiteral("logRow_%1").arg(n));
        ASSERT_NE(row, nullptr);
        const int launch = 12 - n;
        const auto child = [&](const char* name) {
            for (QQuickItem* item : row->childItems())
                if (item->objectName() == QLatin1String(name))
                    return ui.text(item);
            return QString();
        };
        EXPECT_EQ(child("logTime"),
                  QString::asprintf("00:%02d:%02d", launch * 6 / 60, launch * 6 % 60));
        EXPECT_EQ(child("logFinger"), names[launch % kFingerCount]);
        EXPECT_EQ(child("logApp"), mappings[launch % kFingerCount]);
    }
    ui.settle();
    ui.reveal(ui.find("logRow_9"));
    saveShot(ui, "log");

    // Stop leaves the log alone.
    ui.detector().stop();
    EXPECT_TRUE(ui.shown("logRow_9"));
}

TEST(DebugCard, LongTextIsCutAtTwoLines) {
    UiHarness ui;
    ui.show();
    QQuickItem* text = ui.find("debugText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(ui.text(text), QString());

    ASSERT_TRUE(ui.startDetecting());
    ASSERT_TRUE(ui.showHand(kIndexOnly));
    EXPECT_EQ(ui.text(text), QStringLiteral("Hand found! Raised[1]: Index | conf=0.93"));
    EXPECT_FALSE(text->property("truncated").toBool());

    const std::string longError(600, 'x');
    ASSERT_TRUE(ui.analyse(requestError(longError)));
    EXPECT_EQ(ui.text(text), QStringLiteral("Vision error: ") + QString::fromStdString(longError));
    EXPECT_EQ(text->property("lineCount").toInt(), 2);
    EXPECT_TRUE(text->property("truncated").toBool());
    ui.settle();
    QQuickItem* card = ui.find("debugCard");
    EXPECT_LE(text->height() + 20, card->height());
}

TEST(MainViewFrame, SizesAtDefaultAndMinimum) {
    UiHarness ui;
    ui.show();
    QQuickItem* root = ui.root();
    EXPECT_DOUBLE_EQ(root->implicitWidth(), 620.0);
    EXPECT_DOUBLE_EQ(root->implicitHeight(), 760.0);
    EXPECT_EQ(ui.view().size(), QSize(620, 760));
    EXPECT_DOUBLE_EQ(ui.find("previewArea")->height(), 240.0);
    EXPECT_DOUBLE_EQ(ui.find("mainColumn")->width(), 620.0 - 32);
    QQuickItem* settings = ui.find("settingsCard");
    EXPECT_DOUBLE_EQ(settings->width(), 408.0);
    EXPECT_DOUBLE_EQ(ui.find("holdTimeControl")->width(), 200.0);
    EXPECT_DOUBLE_EQ(ui.find("cooldownControl")->width(), 160.0);
    EXPECT_DOUBLE_EQ(settings->mapToScene({}).x(), (620.0 - 408.0) / 2);

    ui.view().resize(520, 640);
    ASSERT_TRUE(waitUntil([&] { return root->width() == 520.0; }));
    ui.settle();
    saveShot(ui, "minimum");
    QQuickItem* header = ui.find("headerBar");
    EXPECT_TRUE(header->isVisible());
    EXPECT_DOUBLE_EQ(header->mapToScene({}).y(), 0.0);
    EXPECT_DOUBLE_EQ(ui.find("mainColumn")->width(), 520.0 - 32);
    // The column is taller than the window: it scrolls.
    auto* scroll = ui.find("mainScroll");
    EXPECT_GT(scroll->property("contentHeight").toDouble(), scroll->height());
    EXPECT_DOUBLE_EQ(ui.find("startStopButton")->mapToScene({}).x() +
                         ui.find("startStopButton")->width(),
                     520.0 - 16);
}

} // namespace
} // namespace palmcue::test
