// SPDX-License-Identifier: Apache-2.0
// Frame formats to BGRA: known pixels through every directly converted layout, with odd sizes
// and padded rows, and clear errors (never a crash) for frames that cannot be used.
#include "camera/FrameConversion.h"

#include "camera/FramePixelBuffer.h"
#include "camera/TestFrames.h"

#include <QBuffer>
#include <QImage>
#include <QVideoFrame>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace palmcue::camera {
namespace {

using Format = QVideoFrameFormat::PixelFormat;
using namespace palmcue::test;

Result<ImageView> convertFrame(Format f, int w, int h, const TestFrame& frame,
                               std::vector<std::uint8_t>& scratch) {
    const auto views = frame.views();
    return convertToBgra({f, w, h}, views, scratch);
}

class DirectConversion : public ::testing::TestWithParam<Format> {};

TEST_P(DirectConversion, GivesKnownPixelsForOddSizesAndPaddedRows) {
    const Format format = GetParam();
    const int tolerance = isYuv(format) ? 4 : 0;
    std::vector<std::uint8_t> scratch;
    for (const auto& [w, h, pad] :
         {std::tuple{6, 4, 0}, std::tuple{5, 3, 7}, std::tuple{1, 1, 3}, std::tuple{33, 17, 16}}) {
        SCOPED_TRACE(::testing::Message() << w << "x" << h << " pad " << pad);
        const TestFrame frame = makeFrame(format, w, h, pad);
        const auto view = convertFrame(format, w, h, frame, scratch);
        ASSERT_TRUE(view) << view.error();
        ASSERT_EQ(view->width, w);
        ASSERT_EQ(view->height, h);
        ASSERT_GE(view->bytesPerRow, w * 4);
        int worst = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = view->data + y * view->bytesPerRow + 4 * x;
                Rgb want = colourAt(x, y);
                if (format == QVideoFrameFormat::Format_Y8)
                    want = {want.g, want.g, want.g};
                worst = std::max({worst, std::abs(p[0] - want.b), std::abs(p[1] - want.g),
                                  std::abs(p[2] - want.r)});
                if (format != QVideoFrameFormat::Format_BGRX8888) {
                    EXPECT_EQ(p[3], 255) << "alpha at " << x << "," << y;
                }
            }
        EXPECT_LE(worst, tolerance);
    }
}

TEST_P(DirectConversion, ConvertsARegionAloneWithTheSamePixels) {
    const Format format = GetParam();
    const int tolerance = isYuv(format) ? 4 : 0;
    const TestFrame frame = makeFrame(format, 33, 17, 16);
    const auto views = frame.views();
    std::vector<std::uint8_t> scratch;
    // Every other row where the layout allows it exactly, from the even row at or above the top.
    const bool steps =
        format != QVideoFrameFormat::Format_NV12 && format != QVideoFrameFormat::Format_NV21;
    struct Case {
        FrameRegion region;
        int rowStep;
        QSize size;
        int firstRow, rowsApart;
    };
    // Odd corners, and one reaching past the frame's edge, which stops there.
    for (const Case& c :
         {Case{{5, 3, 20, 11}, 1, {20, 11}, 3, 1}, Case{{30, 15, 9, 9}, 1, {3, 2}, 15, 1},
          steps ? Case{{5, 3, 20, 11}, 2, {20, 6}, 2, 2}
                : Case{{5, 3, 20, 11}, 2, {20, 11}, 3, 1}}) {
        SCOPED_TRACE(::testing::Message()
                     << c.region.x << "," << c.region.y << " step " << c.rowStep);
        const auto view =
            convertRegionToBgra({format, 33, 17}, views, c.region, scratch, c.rowStep);
        ASSERT_TRUE(view) << view.error();
        ASSERT_EQ(QSize(view->width, view->height), c.size);
        int worst = 0;
        for (int y = 0; y < view->height; ++y)
            for (int x = 0; x < view->width; ++x) {
                const std::uint8_t* p = view->data + y * view->bytesPerRow + 4 * x;
                Rgb want = colourAt(c.region.x + x, c.firstRow + y * c.rowsApart);
                if (format == QVideoFrameFormat::Format_Y8)
                    want = {want.g, want.g, want.g};
                worst = std::max({worst, std::abs(p[0] - want.b), std::abs(p[1] - want.g),
                                  std::abs(p[2] - want.r)});
            }
        EXPECT_LE(worst, tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DirectConversion,
    ::testing::Values(QVideoFrameFormat::Format_BGRA8888, QVideoFrameFormat::Format_BGRX8888,
                      QVideoFrameFormat::Format_ARGB8888, QVideoFrameFormat::Format_XRGB8888,
                      QVideoFrameFormat::Format_RGBA8888, QVideoFrameFormat::Format_RGBX8888,
                      QVideoFrameFormat::Format_ABGR8888, QVideoFrameFormat::Format_XBGR8888,
                      QVideoFrameFormat::Format_NV12, QVideoFrameFormat::Format_NV21,
                      QVideoFrameFormat::Format_YUV420P, QVideoFrameFormat::Format_YV12,
                      QVideoFrameFormat::Format_YUV422P, QVideoFrameFormat::Format_YUYV,
                      QVideoFrameFormat::Format_UYVY, QVideoFrameFormat::Format_Y8),
    [](const auto& info) {
        std::string name = describeFrame(info.param, 0, 0);
        return name.substr(0, name.find(' '));
    });

// A delivered frame shares the camera's buffer instead of copying it: the buffer stays the
// frame's until the detection thread has read it, however long that takes, even when the
// camera has let go of its own handle meanwhile.
TEST(FrameConversion, HeldFramesOutliveTheCamerasHandle) {
    std::shared_ptr<const PixelBuffer> buffer;
    {
        QVideoFrame frame(QVideoFrameFormat(QSize(4, 4), QVideoFrameFormat::Format_BGRA8888));
        ASSERT_TRUE(frame.map(QVideoFrame::WriteOnly));
        for (int i = 0; i < frame.mappedBytes(0); i += 4) {
            const std::uint8_t px[4] = {10, 20, 200, 255};
            std::memcpy(frame.bits(0) + i, px, 4);
        }
        frame.unmap();
        buffer = FramePixelBuffer::capture(frame);
    }
    std::vector<std::uint8_t> scratch;
    const auto view = buffer->bgra(scratch);
    ASSERT_TRUE(view) << view.error();
    EXPECT_EQ(view->data[2], 200);
    EXPECT_EQ(view->data + 4 * 4 * 4, scratch.data() + scratch.size())
        << "the picture is the converted copy, not the frame's own memory";
}

TEST(FrameConversion, UnusableFramesGiveAClearError) {
    std::vector<std::uint8_t> scratch;
    const auto errorOf = [&](const Result<ImageView>& view) {
        EXPECT_FALSE(view);
        return view.error();
    };

    const TestFrame nv12 = makeFrame(QVideoFrameFormat::Format_NV12, 8, 8, 0);
    auto views = nv12.views();
    // A format without a direct conversion.
    EXPECT_EQ(errorOf(convertToBgra({QVideoFrameFormat::Format_P010, 1280, 720}, views, scratch)),
              "unsupported frame format P010 (1280x720)");
    // Planes missing, too short, or rows narrower than the picture.
    EXPECT_NE(errorOf(convertToBgra({QVideoFrameFormat::Format_NV12, 8, 8},
                                    std::span(views).first(1), scratch))
                  .find("plane layout"),
              std::string::npos);
    EXPECT_NE(errorOf(convertToBgra({QVideoFrameFormat::Format_NV12, 8, 16}, views, scratch))
                  .find("holds less data than its format needs"),
              std::string::npos);
    auto narrow = views;
    narrow[0].stride = 4;
    EXPECT_NE(errorOf(convertToBgra({QVideoFrameFormat::Format_NV12, 8, 8}, narrow, scratch))
                  .find("NV12 (8x8)"),
              std::string::npos);
    auto missing = views;
    missing[1] = {};
    EXPECT_FALSE(
        errorOf(convertToBgra({QVideoFrameFormat::Format_NV12, 8, 8}, missing, scratch)).empty());
    // Sizes that make no sense.
    EXPECT_FALSE(
        errorOf(convertToBgra({QVideoFrameFormat::Format_NV12, 0, 8}, views, scratch)).empty());
    EXPECT_FALSE(errorOf(convertToBgra({QVideoFrameFormat::Format_NV12, 100000, 8}, views, scratch))
                     .empty());
    // An empty QVideoFrame.
    EXPECT_FALSE(errorOf(FramePixelBuffer::capture(QVideoFrame())->bgra(scratch)).empty());
}

TEST(FrameConversion, JpegFramesAreDecoded) {
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 60));
    QByteArray jpeg;
    QBuffer out(&jpeg);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&out, "JPEG", 100));

    std::vector<std::uint8_t> scratch;
    const PlaneView good{reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                         static_cast<std::size_t>(jpeg.size()), 0};
    const auto view =
        convertToBgra({QVideoFrameFormat::Format_Jpeg, 6, 4}, std::span(&good, 1), scratch);
    ASSERT_TRUE(view) << view.error();
    EXPECT_EQ(view->width, 6);
    EXPECT_NEAR(view->data[2], 200, 8);
    EXPECT_NEAR(view->data[1], 40, 8);

    const PlaneView broken{good.data, good.size / 3, 0};
    const auto undecodable =
        convertToBgra({QVideoFrameFormat::Format_Jpeg, 6, 4}, std::span(&broken, 1), scratch);
    EXPECT_FALSE(undecodable);
    EXPECT_NE(undecodable.error().find("cannot decode"), std::string::npos);
}

TEST(FrameConversion, CapturesQtVideoFrames) {
    // Through QVideoFrame: the mapping path the camera and the player use, and Qt's own
    // conversion for layouts without a direct one.
    std::vector<std::uint8_t> scratch;

    for (const Format format :
         {QVideoFrameFormat::Format_NV12, QVideoFrameFormat::Format_YUV420P,
          QVideoFrameFormat::Format_BGRA8888, QVideoFrameFormat::Format_AYUV}) {
        SCOPED_TRACE(describeFrame(format, 16, 8));
        QVideoFrame frame(QVideoFrameFormat(QSize(16, 8), format));
        ASSERT_TRUE(frame.map(QVideoFrame::WriteOnly));
        const Rgb c = colourAt(0, 0);
        if (format == QVideoFrameFormat::Format_BGRA8888) {
            for (int i = 0; i < frame.mappedBytes(0); i += 4) {
                const std::uint8_t px[4] = {std::uint8_t(c.b), std::uint8_t(c.g), std::uint8_t(c.r),
                                            255};
                std::memcpy(frame.bits(0) + i, px, 4);
            }
        } else if (format == QVideoFrameFormat::Format_AYUV) {
            for (int i = 0; i < frame.mappedBytes(0); i += 4) {
                const std::uint8_t px[4] = {255, std::uint8_t(yOf(c)), std::uint8_t(uOf(c)),
                                            std::uint8_t(vOf(c))};
                std::memcpy(frame.bits(0) + i, px, 4);
            }
        } else {
            std::memset(frame.bits(0), yOf(c), frame.mappedBytes(0));
            if (format == QVideoFrameFormat::Format_NV12) {
                for (int i = 0; i + 1 < frame.mappedBytes(1); i += 2) {
                    frame.bits(1)[i] = std::uint8_t(uOf(c));
                    frame.bits(1)[i + 1] = std::uint8_t(vOf(c));
                }
            } else {
                std::memset(frame.bits(1), uOf(c), frame.mappedBytes(1));
                std::memset(frame.bits(2), vOf(c), frame.mappedBytes(2));
            }
        }
        frame.unmap();

        const auto buffer = FramePixelBuffer::capture(frame);
        const auto view = buffer->bgra(scratch);
        ASSERT_TRUE(view) << view.error();
        EXPECT_EQ(view->width, 16);
        EXPECT_EQ(view->height, 8);
        const std::uint8_t* p = view->data + 3 * view->bytesPerRow + 4 * 5;
        EXPECT_NEAR(p[2], c.r, 8);
        EXPECT_NEAR(p[1], c.g, 8);
        EXPECT_NEAR(p[0], c.b, 8);
    }
}

} // namespace
} // namespace palmcue::camera
