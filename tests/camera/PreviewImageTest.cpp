// SPDX-License-Identifier: Apache-2.0
// The preview's picture of a frame: the part that fills the panel, scaled to it, mirrored, with
// transparent round corners; frames that cannot be read give no picture rather than a crash.
#include "camera/PreviewImage.h"

#include <QColor>
#include <QVideoFrame>
#include <cstring>
#include <gtest/gtest.h>

namespace palmcue::camera {
namespace {

constexpr QRgb kLeft = 0xffc83228;  // red-ish
constexpr QRgb kRight = 0xff2846d2; // blue-ish
constexpr QRgb kEdge = 0xff28c846;  // green: the rows that aspect fill must crop
constexpr int kEdgeRows = 10;

// 160x90 (16:9): left half kLeft, right half kRight, the top and bottom kEdgeRows kEdge.
QVideoFrame testFrame(QVideoFrameFormat::PixelFormat format, std::uint8_t fourthByte = 0xff) {
    QVideoFrame frame(QVideoFrameFormat(QSize(160, 90), format));
    if (!frame.map(QVideoFrame::WriteOnly))
        return {};
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 160; ++x) {
            const QRgb c = (y < kEdgeRows || y >= 90 - kEdgeRows) ? kEdge : x < 80 ? kLeft : kRight;
            const std::uint8_t bgra[4] = {std::uint8_t(qBlue(c)), std::uint8_t(qGreen(c)),
                                          std::uint8_t(qRed(c)), fourthByte};
            std::memcpy(frame.bits(0) + y * frame.bytesPerLine(0) + 4 * x, bgra, 4);
        }
    }
    frame.unmap();
    return frame;
}

void expectNear(QRgb actual, QRgb expected, const char* where) {
    SCOPED_TRACE(where);
    EXPECT_NEAR(qRed(actual), qRed(expected), 6);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), 6);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), 6);
    EXPECT_EQ(qAlpha(actual), 255);
}

TEST(PreviewImage, FillsMirrorsAndRoundsTheCorners) {
    PreviewBuffers buffers;
    // 3:1, wider than the frame: the frame's full width shows, its top and bottom are cut.
    const QImage picture = previewImage(testFrame(QVideoFrameFormat::Format_BGRA8888),
                                        {{120, 40}, true, 12, {}}, buffers);
    ASSERT_EQ(picture.size(), QSize(120, 40));
    EXPECT_EQ(picture.format(), QImage::Format_ARGB32_Premultiplied);
    expectNear(picture.pixel(20, 20), kRight, "left: the frame's right half, mirrored");
    expectNear(picture.pixel(100, 20), kLeft, "right: the frame's left half");
    expectNear(picture.pixel(20, 1), kRight, "top row: cropped, no edge rows");
    expectNear(picture.pixel(100, 38), kLeft, "bottom row: cropped, no edge rows");
    for (const QPoint corner : {QPoint(0, 0), QPoint(119, 0), QPoint(0, 39), QPoint(119, 39)})
        EXPECT_EQ(qAlpha(picture.pixel(corner)), 0) << corner.x() << "," << corner.y();
    EXPECT_EQ(qAlpha(picture.pixel(12, 0)), 255) << "the straight edge past the arc is opaque";
    EXPECT_EQ(qAlpha(picture.pixel(0, 12)), 255);
    const int arc = qAlpha(picture.pixel(3, 3)); // on the arc of 12, at 45 degrees
    EXPECT_GT(arc, 0);
    EXPECT_LT(arc, 255);

    // Over an opaque backdrop the picture is opaque, its corners blended into the backdrop.
    const QColor backdrop(240, 240, 245);
    const QImage opaque = previewImage(testFrame(QVideoFrameFormat::Format_BGRA8888, 0x40),
                                       {{120, 40}, true, 12, backdrop}, buffers);
    EXPECT_EQ(opaque.format(), QImage::Format_RGB32);
    EXPECT_EQ(opaque.pixel(0, 0), backdrop.rgb());
    expectNear(opaque.pixel(20, 20), kRight, "opaque, the same picture");
    const QRgb blended = opaque.pixel(3, 3);
    EXPECT_GT(qRed(blended), qRed(kRight));
    EXPECT_LT(qRed(blended), backdrop.red());
    EXPECT_EQ(opaque.pixel(12, 0), picture.pixel(12, 0) | 0xff000000u);

    // Taller than the frame: its full height shows, its sides are cut.
    const QImage tall = previewImage(testFrame(QVideoFrameFormat::Format_BGRA8888),
                                     {{40, 90}, false, 0, {}}, buffers);
    ASSERT_EQ(tall.size(), QSize(40, 90));
    expectNear(tall.pixel(2, 45), kLeft, "unmirrored, the left stays left");
    expectNear(tall.pixel(37, 45), kRight, "");
    expectNear(tall.pixel(20, 2), kEdge, "the whole height shows");
    EXPECT_EQ(qAlpha(tall.pixel(0, 0)), 255) << "no radius, no round corners";

    // A quarter of the frame's height: only some of its rows are read, the same picture.
    const QImage small = previewImage(testFrame(QVideoFrameFormat::Format_BGRA8888),
                                      {{40, 16}, true, 0, {}}, buffers);
    ASSERT_EQ(small.size(), QSize(40, 16));
    expectNear(small.pixel(5, 8), kRight, "small: the frame's right half, mirrored");
    expectNear(small.pixel(35, 8), kLeft, "small: the frame's left half");
    expectNear(small.pixel(5, 0), kRight, "small: cropped, no edge rows");
    // Twice the frame's width: scaled up, mirrored the same.
    const QImage large = previewImage(testFrame(QVideoFrameFormat::Format_BGRA8888),
                                      {{320, 120}, true, 0, {}}, buffers);
    expectNear(large.pixel(40, 60), kRight, "large: the frame's right half, mirrored");
    expectNear(large.pixel(280, 60), kLeft, "large: the frame's left half");
}

TEST(PreviewImage, OtherLayoutsAndUnusableFrames) {
    PreviewBuffers buffers;
    // A padding byte of 0, or a frame's own alpha, is not transparency.
    const QImage padded = previewImage(testFrame(QVideoFrameFormat::Format_BGRX8888, 0),
                                       {{64, 36}, true, 0, {}}, buffers);
    ASSERT_FALSE(padded.isNull());
    expectNear(padded.pixel(10, 18), kRight, "BGRX");
    const QImage translucent = previewImage(testFrame(QVideoFrameFormat::Format_BGRA8888, 0x40),
                                            {{64, 36}, true, 0, {}}, buffers);
    expectNear(translucent.pixel(10, 18), kRight, "BGRA");

    // A layout Qt converts for us.
    QVideoFrame ayuv(QVideoFrameFormat(QSize(16, 8), QVideoFrameFormat::Format_AYUV));
    ASSERT_TRUE(ayuv.map(QVideoFrame::WriteOnly));
    std::memset(ayuv.bits(0), 0x80, static_cast<std::size_t>(ayuv.mappedBytes(0)));
    ayuv.unmap();
    EXPECT_EQ(previewImage(ayuv, {{8, 8}, true, 2, {}}, buffers).size(), QSize(8, 8));

    const QVideoFrame good = testFrame(QVideoFrameFormat::Format_BGRA8888);
    EXPECT_TRUE(previewImage(QVideoFrame(), {{64, 36}, true, 12, {}}, buffers).isNull());
    EXPECT_TRUE(previewImage(good, {{0, 36}, true, 12, {}}, buffers).isNull());
    EXPECT_TRUE(previewImage(good, {{64, -1}, true, 12, {}}, buffers).isNull());
    // A radius larger than the picture rounds it as far as it can, no further.
    const QImage tiny = previewImage(good, {{3, 3}, true, 50, {}}, buffers);
    ASSERT_EQ(tiny.size(), QSize(3, 3));
    EXPECT_EQ(qAlpha(tiny.pixel(1, 1)), 255);
}

TEST(PreviewImage, DrawsAgainOnlyIntoAPictureNoOneHolds) {
    PreviewBuffers buffers;
    const QVideoFrame frame = testFrame(QVideoFrameFormat::Format_BGRA8888);
    const PreviewShape mirrored{{64, 36}, true, 12, QColor(240, 240, 245)};
    PreviewShape unmirrored = mirrored;
    unmirrored.mirrored = false;
    QImage shown = previewImage(frame, mirrored, buffers);
    const QImage before = shown.copy();
    const QImage next = previewImage(frame, unmirrored, buffers);
    EXPECT_NE(next.constBits(), shown.constBits());
    EXPECT_EQ(shown, before) << "a picture still held is never drawn over";

    const uchar* const memory = shown.constBits();
    shown = QImage(); // let go of, as the scene graph does with the texture before
    const QImage again = previewImage(frame, mirrored, buffers);
    EXPECT_EQ(again.constBits(), memory);
    EXPECT_EQ(again, before);
}

} // namespace
} // namespace palmcue::camera
