// SPDX-License-Identifier: Apache-2.0
// The live picture as it reaches the screen: camera frames pushed into the preview's sink, the
// window grabbed, its pixels read. Run on an X display (Xvfb) with Mesa's OpenGL and with the
// software scene graph (see CMakeLists.txt), and offscreen: mirrored, cropped to fill, round
// corners, the finger overlay over it, each frame shown, nothing left after Stop.
#include "UiHarness.h"
#include "support/SharedData.h"
#include "ui/PreviewPicture.h"

#include <QImage>
#include <QQuickWindow>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>
#include <cstring>
#include <gtest/gtest.h>

namespace palmcue::test {
namespace {

constexpr FingerFlags kIndexOnly{false, true, false, false, false};
constexpr QRgb kEdge = 0xff20d040; // rows that aspect fill crops away

// 1280x720: left half `left`, right half `right`, the top and bottom 60 rows kEdge.
QVideoFrame cameraFrame(QRgb left, QRgb right) {
    QVideoFrame frame(QVideoFrameFormat(QSize(1280, 720), QVideoFrameFormat::Format_BGRA8888));
    if (!frame.map(QVideoFrame::WriteOnly))
        return {};
    for (int y = 0; y < 720; ++y) {
        auto* row = reinterpret_cast<QRgb*>(frame.bits(0) + y * frame.bytesPerLine(0));
        const bool edge = y < 60 || y >= 660;
        for (int x = 0; x < 1280; ++x)
            row[x] = edge ? kEdge : x < 640 ? left : right; // BGRA bytes, as QRgb on x86
    }
    frame.unmap();
    return frame;
}

bool near(QRgb a, QRgb b, int tolerance = 10) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

std::string hex(QRgb c) {
    return QColor(c).name().toStdString();
}

class PreviewScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ui.show();
        ASSERT_TRUE(ui.startDetecting());
        FakeSession* session = ui.camera.lastSession;
        ASSERT_TRUE(waitUntil([&] { return !session->preview.sinks.empty(); }));
        sink = qobject_cast<QVideoSink*>(session->preview.sinks.front().data());
        ASSERT_NE(sink, nullptr);
        picture = qobject_cast<ui::PreviewPicture*>(ui.find("previewPicture"));
        ASSERT_NE(picture, nullptr);
    }

    // Shows `frame` and returns the window as drawn after it, in device pixels.
    QImage show(const QVideoFrame& frame) {
        sink->setVideoFrame(frame);
        ui.settle();
        return ui.view().grabWindow();
    }
    // A point of the picture, from its top-left corner, in the grabbed window's pixels.
    QPoint at(QQuickItem* item, qreal x, qreal y) {
        const qreal ratio = ui.view().effectiveDevicePixelRatio();
        return (item->mapToScene({x, y}) * ratio).toPoint();
    }
    void save(const QImage& shot, const char* name) {
        const QString dir = qEnvironmentVariable("PALMCUE_UI_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            shot.save(dir + QStringLiteral("/preview-") + QLatin1String(name) +
                      QStringLiteral(".png"));
    }

    UiHarness ui;
    QVideoSink* sink = nullptr;
    ui::PreviewPicture* picture = nullptr;
};

TEST_F(PreviewScreen, ShowsEachFrameMirroredCroppedAndRounded) {
    const QRgb red = 0xffd02020, blue = 0xff2040d0, yellow = 0xffe0d020;
    QImage shot = show(cameraFrame(red, blue));
    save(shot, "frame");
    const qreal w = picture->width(), h = picture->height();
    ASSERT_GT(w, h); // the panel is wider than 16:9: the frame's top and bottom are cut
    const QRgb left = shot.pixel(at(picture, 20, h / 2));
    const QRgb right = shot.pixel(at(picture, w - 20, h / 2));
    EXPECT_TRUE(near(left, blue)) << "left shows the frame's right half: " << hex(left);
    EXPECT_TRUE(near(right, red)) << "right shows the frame's left half: " << hex(right);
    for (const qreal y : {1.0, h - 2}) {
        const QRgb edge = shot.pixel(at(picture, 20, y));
        EXPECT_TRUE(near(edge, blue)) << "row " << y << " is cropped to fill: " << hex(edge);
    }
    // Round corners of radius 12: the corner pixel is not the picture, 12 in along the edge is.
    const QRgb corner = shot.pixel(at(picture, 0.5, 0.5));
    EXPECT_FALSE(near(corner, blue, 60)) << "corner " << hex(corner);
    EXPECT_TRUE(near(corner, picture->backdrop().rgb(), 24)) << "corner " << hex(corner);
    EXPECT_TRUE(near(shot.pixel(at(picture, 13, 0.5)), blue));
    const QRgb farCorner = shot.pixel(at(picture, w - 0.5, h - 0.5));
    EXPECT_FALSE(near(farCorner, red, 60)) << "corner " << hex(farCorner);

    // Live: the next frame replaces it.
    shot = show(cameraFrame(yellow, yellow));
    EXPECT_TRUE(near(shot.pixel(at(picture, w / 2, h / 2)), yellow));

    // The finger overlay draws over the picture.
    ASSERT_TRUE(ui.showHand(kIndexOnly));
    QQuickItem* label = ui.find("fingerLabel");
    ASSERT_NE(label, nullptr);
    shot = show(cameraFrame(yellow, yellow));
    save(shot, "overlay");
    const QColor tint = label->property("color").value<QColor>();
    const QRgb expected =
        qRgb(int(tint.red() * tint.alphaF() + qRed(yellow) * (1 - tint.alphaF())),
             int(tint.green() * tint.alphaF() + qGreen(yellow) * (1 - tint.alphaF())),
             int(tint.blue() * tint.alphaF() + qBlue(yellow) * (1 - tint.alphaF())));
    const QRgb labelPixel = shot.pixel(at(label, 4, label->height() / 2));
    EXPECT_TRUE(near(labelPixel, expected)) << hex(labelPixel) << " vs " << hex(expected);

    // Stop: the picture leaves with the session, the placeholder's black backdrop returns.
    ui.detector().stop();
    ui.settle();
    EXPECT_EQ(ui.find("previewPicture"), nullptr);
    shot = ui.view().grabWindow();
    EXPECT_TRUE(near(shot.pixel(at(ui.find("previewArea"), 20, 120)), qRgb(0, 0, 0), 40));
}

TEST_F(PreviewScreen, DrawsNothingWhileTheWindowIsClosed) {
    show(cameraFrame(0xffd02020, 0xff2040d0));
    const int drawn = picture->picturesMade();
    ASSERT_GE(drawn, 1);
    ui.view().hide();
    for (int i = 0; i < 5; ++i)
        sink->setVideoFrame(cameraFrame(0xff808080, 0xff808080));
    QTest::qWait(50);
    EXPECT_EQ(picture->picturesMade(), drawn);
    // Shown again, it draws the latest frame.
    ui.view().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ui.view()));
    const QImage shot = ui.view().grabWindow();
    EXPECT_TRUE(near(shot.pixel(at(picture, picture->width() / 2, 120)), 0xff808080));
}

} // namespace
} // namespace palmcue::test
