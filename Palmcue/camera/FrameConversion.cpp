// SPDX-License-Identifier: Apache-2.0
#include "camera/FrameConversion.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cstring>
#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>

namespace palmcue::camera {
namespace {

using Format = QVideoFrameFormat::PixelFormat;

// Keeps every size computation far from int overflow.
constexpr int kMaxSide = 16384;

// How many planes a directly converted format arrives in; 0 for the others.
int expectedPlanes(Format format) {
    if (isRgb32(format))
        return 1;
    switch (format) {
    case QVideoFrameFormat::Format_YUYV:
    case QVideoFrameFormat::Format_UYVY:
    case QVideoFrameFormat::Format_Y8:
    case QVideoFrameFormat::Format_Jpeg:
        return 1;
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
        return 2;
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
    case QVideoFrameFormat::Format_YUV422P:
        return 3;
    default:
        return 0;
    }
}

const libyuv::YuvConstants* yuvMatrix(QVideoFrameFormat::ColorSpace space,
                                      QVideoFrameFormat::ColorRange range) {
    const bool full = range == QVideoFrameFormat::ColorRange_Full;
    switch (space) {
    case QVideoFrameFormat::ColorSpace_BT709:
        return full ? &libyuv::kYuvF709Constants : &libyuv::kYuvH709Constants;
    case QVideoFrameFormat::ColorSpace_BT2020:
        return full ? &libyuv::kYuvV2020Constants : &libyuv::kYuv2020Constants;
    default: // cameras that do not say are BT.601
        return full ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants;
    }
}

// Copies a QImage (any format) into `scratch` as BGRA.
ImageView copyImage(const QImage& source, std::vector<std::uint8_t>& scratch) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32); // BGRA bytes
    const int rowBytes = image.width() * 4;
    scratch.resize(static_cast<std::size_t>(rowBytes) * image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(scratch.data() + static_cast<std::size_t>(y) * rowBytes, image.constScanLine(y),
                    rowBytes);
    return {scratch.data(), image.width(), image.height(), rowBytes};
}

Result<ImageView> convertPlanes(const FrameLayout& layout, std::span<const PlaneView> planes,
                                std::vector<std::uint8_t>& scratch) {
    const int w = layout.width;
    const int h = layout.height;
    // Whether `plane` holds `rows` rows of `rowBytes` bytes at its stride.
    const auto planeHolds = [&planes](std::size_t plane, int rowBytes, int rows) {
        if (plane >= planes.size() || !planes[plane].data || planes[plane].stride < rowBytes)
            return false;
        const std::size_t needed =
            static_cast<std::size_t>(planes[plane].stride) * static_cast<std::size_t>(rows - 1) +
            static_cast<std::size_t>(rowBytes);
        return planes[plane].size >= needed;
    };
    const int chromaW = (w + 1) / 2;
    const int chromaH = (h + 1) / 2;
    const int outStride = w * 4;

    // Checks the plane sizes before any conversion reads them: a short or oddly laid out
    // frame must give an error, not a read past its end.
    bool fits = false;
    switch (layout.format) {
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
        fits = planeHolds(0, w, h) && planeHolds(1, chromaW * 2, chromaH);
        break;
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
        fits = planeHolds(0, w, h) && planeHolds(1, chromaW, chromaH) &&
               planeHolds(2, chromaW, chromaH);
        break;
    case QVideoFrameFormat::Format_YUV422P:
        fits = planeHolds(0, w, h) && planeHolds(1, chromaW, h) && planeHolds(2, chromaW, h);
        break;
    case QVideoFrameFormat::Format_YUYV:
    case QVideoFrameFormat::Format_UYVY:
        fits = planeHolds(0, chromaW * 4, h);
        break;
    case QVideoFrameFormat::Format_Y8:
        fits = planeHolds(0, w, h);
        break;
    default: // 32-bit packed
        fits = planeHolds(0, w * 4, h);
        break;
    }
    if (!fits)
        return failure("frame " + describeFrame(layout.format, w, h) +
                       " holds less data than its format needs");

    const std::uint8_t* p0 = planes[0].data;
    const int s0 = planes[0].stride;
    scratch.resize(static_cast<std::size_t>(outStride) * h);
    std::uint8_t* out = scratch.data();
    const libyuv::YuvConstants* matrix = yuvMatrix(layout.colorSpace, layout.colorRange);
    // libyuv names formats by 32-bit word, lowest byte last: its "ARGB" is BGRA in memory,
    // "BGRA" is A,R,G,B, "ABGR" is R,G,B,A and "RGBA" is A,B,G,R.
    int result = -1;
    switch (layout.format) {
    case QVideoFrameFormat::Format_BGRA8888:
    case QVideoFrameFormat::Format_BGRA8888_Premultiplied:
    case QVideoFrameFormat::Format_BGRX8888: // the X byte is never looked at
        result = libyuv::ARGBCopy(p0, s0, out, outStride, w, h);
        break;
    case QVideoFrameFormat::Format_ARGB8888:
    case QVideoFrameFormat::Format_ARGB8888_Premultiplied:
    case QVideoFrameFormat::Format_XRGB8888:
        result = libyuv::BGRAToARGB(p0, s0, out, outStride, w, h);
        break;
    case QVideoFrameFormat::Format_RGBA8888:
    case QVideoFrameFormat::Format_RGBX8888:
        result = libyuv::ABGRToARGB(p0, s0, out, outStride, w, h);
        break;
    case QVideoFrameFormat::Format_ABGR8888:
    case QVideoFrameFormat::Format_XBGR8888:
        result = libyuv::RGBAToARGB(p0, s0, out, outStride, w, h);
        break;
    case QVideoFrameFormat::Format_NV12:
        result = libyuv::NV12ToARGBMatrix(p0, s0, planes[1].data, planes[1].stride, out, outStride,
                                          matrix, w, h);
        break;
    case QVideoFrameFormat::Format_NV21:
        result = libyuv::NV21ToARGBMatrix(p0, s0, planes[1].data, planes[1].stride, out, outStride,
                                          matrix, w, h);
        break;
    case QVideoFrameFormat::Format_YUV420P:
        result = libyuv::I420ToARGBMatrix(p0, s0, planes[1].data, planes[1].stride, planes[2].data,
                                          planes[2].stride, out, outStride, matrix, w, h);
        break;
    case QVideoFrameFormat::Format_YV12: // V plane before U
        result = libyuv::I420ToARGBMatrix(p0, s0, planes[2].data, planes[2].stride, planes[1].data,
                                          planes[1].stride, out, outStride, matrix, w, h);
        break;
    case QVideoFrameFormat::Format_YUV422P:
        result = libyuv::I422ToARGBMatrix(p0, s0, planes[1].data, planes[1].stride, planes[2].data,
                                          planes[2].stride, out, outStride, matrix, w, h);
        break;
    case QVideoFrameFormat::Format_YUYV:
        result = libyuv::YUY2ToARGB(p0, s0, out, outStride, w, h);
        break;
    case QVideoFrameFormat::Format_UYVY:
        result = libyuv::UYVYToARGB(p0, s0, out, outStride, w, h);
        break;
    case QVideoFrameFormat::Format_Y8:
        result = libyuv::J400ToARGB(p0, s0, out, outStride, w, h);
        break;
    default:
        break;
    }
    if (result != 0)
        return failure("cannot convert frame " + describeFrame(layout.format, w, h));
    return ImageView{out, w, h, outStride};
}

Result<ImageView> decodeJpeg(const FrameLayout& layout, std::span<const PlaneView> planes,
                             std::vector<std::uint8_t>& scratch) {
    QImage image;
    if (planes.empty() || !planes[0].data ||
        !image.loadFromData(planes[0].data, static_cast<int>(planes[0].size), "JPEG"))
        return failure("cannot decode frame " +
                       describeFrame(layout.format, layout.width, layout.height));
    return copyImage(image, scratch);
}

} // namespace

bool isRgb32(QVideoFrameFormat::PixelFormat format) {
    switch (format) {
    case QVideoFrameFormat::Format_BGRA8888:
    case QVideoFrameFormat::Format_BGRA8888_Premultiplied:
    case QVideoFrameFormat::Format_BGRX8888:
    case QVideoFrameFormat::Format_ARGB8888:
    case QVideoFrameFormat::Format_ARGB8888_Premultiplied:
    case QVideoFrameFormat::Format_XRGB8888:
    case QVideoFrameFormat::Format_RGBA8888:
    case QVideoFrameFormat::Format_RGBX8888:
    case QVideoFrameFormat::Format_ABGR8888:
    case QVideoFrameFormat::Format_XBGR8888:
        return true;
    default:
        return false;
    }
}

bool convertsDirectly(QVideoFrameFormat::PixelFormat format) {
    return expectedPlanes(format) > 0;
}

std::string describeFrame(QVideoFrameFormat::PixelFormat format, int width, int height) {
    QString name = QVideoFrameFormat::pixelFormatToString(format);
    if (name.startsWith(QStringLiteral("Format_")))
        name.remove(0, 7);
    return QStringLiteral("%1 (%2x%3)").arg(name).arg(width).arg(height).toStdString();
}

Result<ImageView> convertToBgra(const FrameLayout& layout, std::span<const PlaneView> planes,
                                std::vector<std::uint8_t>& scratch) {
    const auto name = [&] { return describeFrame(layout.format, layout.width, layout.height); };
    if (layout.width <= 0 || layout.height <= 0 || layout.width > kMaxSide ||
        layout.height > kMaxSide)
        return failure("unusable frame size " + name());
    const int expected = expectedPlanes(layout.format);
    if (expected == 0)
        return failure("unsupported frame format " + name());
    if (static_cast<int>(planes.size()) != expected)
        return failure("unexpected plane layout (" + std::to_string(planes.size()) +
                       " planes) in " + name());
    if (layout.format == QVideoFrameFormat::Format_Jpeg)
        return decodeJpeg(layout, planes, scratch);
    return convertPlanes(layout, planes, scratch);
}

Result<ImageView> convertToBgra(const QVideoFrame& frame, std::vector<std::uint8_t>& scratch) {
    // A copy shares the frame; mapping it leaves the caller's as it is.
    QVideoFrame mapped(frame);
    if (!mapped.map(QVideoFrame::ReadOnly))
        return failure("cannot map frame " +
                       describeFrame(frame.pixelFormat(), frame.width(), frame.height()));
    std::array<PlaneView, 4> views{};
    const int count = std::min(mapped.planeCount(), static_cast<int>(views.size()));
    for (int i = 0; i < count; ++i)
        views[i] = {mapped.bits(i), static_cast<std::size_t>(std::max(mapped.mappedBytes(i), 0)),
                    mapped.bytesPerLine(i)};
    const QVideoFrameFormat surface = frame.surfaceFormat();
    Result<ImageView> picture = convertToBgra(
        {frame.pixelFormat(), frame.width(), frame.height(), surface.colorSpace(),
         surface.colorRange()},
        std::span<const PlaneView>(views.data(), static_cast<std::size_t>(count)), scratch);
    mapped.unmap();
    return picture;
}

} // namespace palmcue::camera
