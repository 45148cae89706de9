// SPDX-License-Identifier: Apache-2.0
#include "camera/FrameConversion.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cstring>
#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>
#include <utility>

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

// Whether the planes hold what the format needs at their strides, checked before any
// conversion reads them: a short or oddly laid out frame must give an error, not a read past
// its end.
bool planesFit(const FrameLayout& layout, std::span<const PlaneView> planes) {
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
    switch (layout.format) {
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
        return planeHolds(0, w, h) && planeHolds(1, chromaW * 2, chromaH);
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
        return planeHolds(0, w, h) && planeHolds(1, chromaW, chromaH) &&
               planeHolds(2, chromaW, chromaH);
    case QVideoFrameFormat::Format_YUV422P:
        return planeHolds(0, w, h) && planeHolds(1, chromaW, h) && planeHolds(2, chromaW, h);
    case QVideoFrameFormat::Format_YUYV:
    case QVideoFrameFormat::Format_UYVY:
        return planeHolds(0, chromaW * 4, h);
    case QVideoFrameFormat::Format_Y8:
        return planeHolds(0, w, h);
    case QVideoFrameFormat::Format_Jpeg: // any size; the decoder checks it
        return true;
    default: // 32-bit packed
        return planeHolds(0, w * 4, h);
    }
}

Result<ImageView> convertPlanes(const FrameLayout& layout, std::span<const PlaneView> planes,
                                std::vector<std::uint8_t>& scratch) {
    const int w = layout.width;
    const int h = layout.height;
    const int outStride = w * 4;

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

// A Qt video frame mapped for reading, with its layout and planes, for as long as this lives.
// A copy of the frame is mapped, so the caller's frame stays as it is.
class MappedFrame {
public:
    explicit MappedFrame(const QVideoFrame& frame) : frame_(frame) {
        const QVideoFrameFormat surface = frame.surfaceFormat();
        layout_ = {frame.pixelFormat(), frame.width(), frame.height(), surface.colorSpace(),
                   surface.colorRange()};
        if (!frame_.map(QVideoFrame::ReadOnly))
            return;
        count_ = std::min(frame_.planeCount(), static_cast<int>(views_.size()));
        for (int i = 0; i < count_; ++i)
            views_[i] = {frame_.bits(i),
                         static_cast<std::size_t>(std::max(frame_.mappedBytes(i), 0)),
                         frame_.bytesPerLine(i)};
        mapped_ = true;
    }
    ~MappedFrame() {
        if (mapped_)
            frame_.unmap();
    }
    MappedFrame(const MappedFrame&) = delete;
    MappedFrame& operator=(const MappedFrame&) = delete;

    bool ok() const { return mapped_; }
    const FrameLayout& layout() const { return layout_; }
    std::span<const PlaneView> planes() const {
        return {views_.data(), static_cast<std::size_t>(count_)};
    }

private:
    QVideoFrame frame_;
    FrameLayout layout_;
    std::array<PlaneView, 4> views_{};
    int count_ = 0;
    bool mapped_ = false;
};

// Where the pixel (x, y), x and y even, starts in `plane` of a directly converted format.
std::size_t planeOffset(Format format, std::size_t plane, int x, int y, int stride) {
    int bytesAcross = x; // luma planes and Y8
    int rowsDown = y;
    if (isRgb32(format)) {
        bytesAcross = 4 * x;
    } else if (format == QVideoFrameFormat::Format_YUYV ||
               format == QVideoFrameFormat::Format_UYVY) {
        bytesAcross = 2 * x;
    } else if (plane > 0) {
        const bool interleaved =
            format == QVideoFrameFormat::Format_NV12 || format == QVideoFrameFormat::Format_NV21;
        bytesAcross = interleaved ? x : x / 2;
        rowsDown = format == QVideoFrameFormat::Format_YUV422P ? y : y / 2;
    }
    return static_cast<std::size_t>(rowsDown) * static_cast<std::size_t>(stride) +
           static_cast<std::size_t>(bytesAcross);
}

// 4:2:0 layouts whose chroma rows libyuv can also read one per luma row, as 4:2:2.
bool isPlanar420(Format format) {
    return format == QVideoFrameFormat::Format_YUV420P || format == QVideoFrameFormat::Format_YV12;
}

// The row step a format can be read at exactly: any for layouts whose rows stand alone, even
// ones for planar 4:2:0 (each luma row kept, then, has a chroma row of its own), none for the
// others.
int exactRowStep(Format format, int wanted) {
    if (wanted <= 1 || format == QVideoFrameFormat::Format_Jpeg ||
        format == QVideoFrameFormat::Format_NV12 || format == QVideoFrameFormat::Format_NV21)
        return 1;
    return isPlanar420(format) ? std::max(1, wanted & ~1) : wanted;
}

// Makes `part` read every `step`-th row of its planes: strides grow by the step, and planar
// 4:2:0 then holds one chroma row per kept luma row, which is 4:2:2.
void stepRows(FrameLayout& part, std::span<PlaneView> planes, int step) {
    if (step <= 1)
        return;
    const bool planar420 = isPlanar420(part.format);
    for (std::size_t i = 0; i < planes.size(); ++i)
        planes[i].stride *= (planar420 && i > 0) ? step / 2 : step;
    part.height = (part.height + step - 1) / step;
    if (part.format == QVideoFrameFormat::Format_YV12) // V plane before U
        std::swap(planes[1], planes[2]);
    if (planar420)
        part.format = QVideoFrameFormat::Format_YUV422P;
}

// Whether the layout is usable and its planes hold what its format needs; else why not.
Result<void> checkFrame(const FrameLayout& layout, std::span<const PlaneView> planes) {
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
    if (!planesFit(layout, planes))
        return failure("frame " + name() + " holds less data than its format needs");
    return {};
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
    if (Result<void> usable = checkFrame(layout, planes); !usable)
        return failure(usable.error());
    if (layout.format == QVideoFrameFormat::Format_Jpeg)
        return decodeJpeg(layout, planes, scratch);
    return convertPlanes(layout, planes, scratch);
}

ImageView regionOf(const ImageView& image, FrameRegion region) {
    region.x = std::clamp(region.x, 0, std::max(image.width - 1, 0));
    region.y = std::clamp(region.y, 0, std::max(image.height - 1, 0));
    region.width = std::clamp(region.width, 0, image.width - region.x);
    region.height = std::clamp(region.height, 0, image.height - region.y);
    return {image.data + static_cast<std::size_t>(region.y) * image.bytesPerRow +
                static_cast<std::size_t>(region.x) * 4,
            region.width, region.height, image.bytesPerRow};
}

Result<ImageView> convertRegionToBgra(const FrameLayout& layout, std::span<const PlaneView> planes,
                                      FrameRegion region, std::vector<std::uint8_t>& scratch,
                                      int rowStep) {
    if (Result<void> usable = checkFrame(layout, planes); !usable)
        return failure(usable.error());
    region.x = std::clamp(region.x, 0, layout.width - 1);
    region.y = std::clamp(region.y, 0, layout.height - 1);
    region.width = std::clamp(region.width, 1, layout.width - region.x);
    region.height = std::clamp(region.height, 1, layout.height - region.y);
    if (layout.format == QVideoFrameFormat::Format_Jpeg) {
        const Result<ImageView> whole = decodeJpeg(layout, planes, scratch);
        return whole ? Result<ImageView>(regionOf(*whole, region)) : whole;
    }
    // The part converted starts where the colour samples do, at even coordinates.
    const int x = region.x & ~1;
    const int y = region.y & ~1;
    FrameLayout part = layout;
    part.width = region.x + region.width - x;
    part.height = region.y + region.height - y;
    std::array<PlaneView, 4> parts{};
    for (std::size_t i = 0; i < planes.size() && i < parts.size(); ++i) {
        const std::size_t offset = planeOffset(layout.format, i, x, y, planes[i].stride);
        parts[i] = {planes[i].data + offset, planes[i].size - offset, planes[i].stride};
    }
    const int step = exactRowStep(layout.format, rowStep);
    const std::span<PlaneView> used(parts.data(), planes.size());
    stepRows(part, used, step);
    const Result<ImageView> converted = convertPlanes(part, used, scratch);
    if (!converted)
        return converted;
    if (step > 1) // from the even row, the region's first or the one above it
        return regionOf(*converted, {region.x - x, 0, region.width, converted->height});
    return regionOf(*converted, {region.x - x, region.y - y, region.width, region.height});
}

Result<ImageView> convertRegionToBgra(const QVideoFrame& frame, FrameRegion region,
                                      std::vector<std::uint8_t>& scratch, int rowStep) {
    const MappedFrame mapped(frame);
    if (!mapped.ok())
        return failure("cannot map frame " +
                       describeFrame(frame.pixelFormat(), frame.width(), frame.height()));
    return convertRegionToBgra(mapped.layout(), mapped.planes(), region, scratch, rowStep);
}

Result<ImageView> convertToBgra(const QVideoFrame& frame, std::vector<std::uint8_t>& scratch) {
    return convertRegionToBgra(frame, {0, 0, frame.width(), frame.height()}, scratch);
}

} // namespace palmcue::camera
