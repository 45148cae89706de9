#include "camera/FramePixelBuffer.h"

#include "camera/ImagePixelBuffer.h"

#include <QImage>
#include <cstring>
#include <libyuv/convert_argb.h>

namespace palmcue::camera {
namespace {

using Format = QVideoFrameFormat::PixelFormat;

// Keeps every size computation far from int overflow.
constexpr int kMaxSide = 16384;

// How many planes a directly converted format arrives in; 0 for the others.
int expectedPlanes(Format format) {
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

} // namespace

bool FramePixelBuffer::convertsDirectly(QVideoFrameFormat::PixelFormat format) {
    return expectedPlanes(format) > 0;
}

std::string FramePixelBuffer::describe(QVideoFrameFormat::PixelFormat format, int width,
                                       int height) {
    QString name = QVideoFrameFormat::pixelFormatToString(format);
    if (name.startsWith(QStringLiteral("Format_")))
        name.remove(0, 7);
    return QStringLiteral("%1 (%2x%3)").arg(name).arg(width).arg(height).toStdString();
}

std::shared_ptr<const PixelBuffer> FramePixelBuffer::capture(const QVideoFrame& frame,
                                                             BufferPool& pool) {
    const Format format = frame.pixelFormat();
    const int width = frame.width();
    const int height = frame.height();
    const std::string name = describe(format, width, height);
    if (!frame.isValid() || width <= 0 || height <= 0)
        return std::shared_ptr<FramePixelBuffer>(new FramePixelBuffer("empty frame " + name));

    const int planes = expectedPlanes(format);
    if (planes == 0) {
        // Rare layouts (10-bit, IMC, AYUV...): Qt converts them, here, on the thread that owns
        // the frame, because its conversion may need that thread's graphics context.
        QImage image = frame.toImage();
        if (image.isNull())
            return std::shared_ptr<FramePixelBuffer>(
                new FramePixelBuffer("unsupported frame format " + name));
        return std::make_shared<ImagePixelBuffer>(std::move(image));
    }

    QVideoFrame mapped(frame); // shares the frame; mapping does not change the caller's copy
    if (!mapped.map(QVideoFrame::ReadOnly))
        return std::shared_ptr<FramePixelBuffer>(new FramePixelBuffer("cannot map frame " + name));
    std::array<PlaneView, 4> views{};
    const int count = std::min(mapped.planeCount(), static_cast<int>(views.size()));
    for (int i = 0; i < count; ++i)
        views[i] = {mapped.bits(i), static_cast<std::size_t>(std::max(mapped.mappedBytes(i), 0)),
                    mapped.bytesPerLine(i)};
    const QVideoFrameFormat surface = frame.surfaceFormat();
    auto buffer = copyPlanes({format, width, height, surface.colorSpace(), surface.colorRange()},
                             std::span<const PlaneView>(views.data(), count), pool);
    mapped.unmap();
    return buffer;
}

std::shared_ptr<const PixelBuffer> FramePixelBuffer::copyPlanes(const Layout& layout,
                                                                std::span<const PlaneView> planes,
                                                                BufferPool& pool) {
    const std::string name = describe(layout.format, layout.width, layout.height);
    if (layout.width <= 0 || layout.height <= 0 || layout.width > kMaxSide ||
        layout.height > kMaxSide)
        return std::shared_ptr<FramePixelBuffer>(
            new FramePixelBuffer("unusable frame size " + name));
    const int expected = expectedPlanes(layout.format);
    if (expected == 0)
        return std::shared_ptr<FramePixelBuffer>(
            new FramePixelBuffer("unsupported frame format " + name));
    if (static_cast<int>(planes.size()) != expected)
        return std::shared_ptr<FramePixelBuffer>(new FramePixelBuffer(
            "unexpected plane layout (" + std::to_string(planes.size()) + " planes) in " + name));

    std::shared_ptr<FramePixelBuffer> buffer(new FramePixelBuffer);
    std::size_t total = 0;
    for (int i = 0; i < expected; ++i) {
        buffer->planes_[i] = {total, planes[i].data ? planes[i].size : 0,
                              std::max(planes[i].stride, 0)};
        total += buffer->planes_[i].size;
    }
    buffer->bytes_ = pool.acquire(total);
    for (int i = 0; i < expected; ++i) {
        if (buffer->planes_[i].size > 0)
            std::memcpy(buffer->bytes_.data() + buffer->planes_[i].offset, planes[i].data,
                        buffer->planes_[i].size);
    }
    buffer->format_ = layout.format;
    buffer->colorSpace_ = layout.colorSpace;
    buffer->colorRange_ = layout.colorRange;
    buffer->width_ = layout.width;
    buffer->height_ = layout.height;
    buffer->planeCount_ = expected;
    return buffer;
}

bool FramePixelBuffer::planeHolds(int plane, int rowBytes, int rows) const {
    const Plane& p = planes_[plane];
    if (plane >= planeCount_ || p.stride < rowBytes)
        return false;
    const std::size_t needed =
        static_cast<std::size_t>(p.stride) * static_cast<std::size_t>(rows - 1) + rowBytes;
    return p.size >= needed;
}

Result<ImageView> FramePixelBuffer::bgra(std::vector<std::uint8_t>& scratch) const {
    if (!error_.empty())
        return failure(error_);
    if (format_ == QVideoFrameFormat::Format_Jpeg)
        return decodeJpeg(scratch);
    return convert(scratch);
}

Result<ImageView> FramePixelBuffer::convert(std::vector<std::uint8_t>& scratch) const {
    const int w = width_;
    const int h = height_;
    const int chromaW = (w + 1) / 2;
    const int chromaH = (h + 1) / 2;
    const int outStride = w * 4;

    // Checks the plane sizes before any conversion reads them: a short or oddly laid out
    // frame must give an error, not a read past its end.
    bool fits = false;
    switch (format_) {
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
        return failure("frame " + describe(format_, w, h) +
                       " holds less data than its format needs");

    const std::uint8_t* p0 = planeData(0);
    const int s0 = planes_[0].stride;
    if (format_ == QVideoFrameFormat::Format_BGRA8888 ||
        format_ == QVideoFrameFormat::Format_BGRA8888_Premultiplied ||
        format_ == QVideoFrameFormat::Format_BGRX8888) {
        // Already in the byte order the detector reads (the X byte is never looked at).
        return ImageView{p0, w, h, s0};
    }

    scratch.resize(static_cast<std::size_t>(outStride) * h);
    std::uint8_t* out = scratch.data();
    const libyuv::YuvConstants* matrix = yuvMatrix(colorSpace_, colorRange_);
    // libyuv names formats by 32-bit word, lowest byte last: its "ARGB" is BGRA in memory,
    // "BGRA" is A,R,G,B, "ABGR" is R,G,B,A and "RGBA" is A,B,G,R.
    int result = -1;
    switch (format_) {
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
        result = libyuv::NV12ToARGBMatrix(p0, s0, planeData(1), planes_[1].stride, out, outStride,
                                          matrix, w, h);
        break;
    case QVideoFrameFormat::Format_NV21:
        result = libyuv::NV21ToARGBMatrix(p0, s0, planeData(1), planes_[1].stride, out, outStride,
                                          matrix, w, h);
        break;
    case QVideoFrameFormat::Format_YUV420P:
        result = libyuv::I420ToARGBMatrix(p0, s0, planeData(1), planes_[1].stride, planeData(2),
                                          planes_[2].stride, out, outStride, matrix, w, h);
        break;
    case QVideoFrameFormat::Format_YV12: // V plane before U
        result = libyuv::I420ToARGBMatrix(p0, s0, planeData(2), planes_[2].stride, planeData(1),
                                          planes_[1].stride, out, outStride, matrix, w, h);
        break;
    case QVideoFrameFormat::Format_YUV422P:
        result = libyuv::I422ToARGBMatrix(p0, s0, planeData(1), planes_[1].stride, planeData(2),
                                          planes_[2].stride, out, outStride, matrix, w, h);
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
        return failure("cannot convert frame " + describe(format_, w, h));
    return ImageView{out, w, h, outStride};
}

Result<ImageView> FramePixelBuffer::decodeJpeg(std::vector<std::uint8_t>& scratch) const {
    QImage image;
    if (!image.loadFromData(planeData(0), static_cast<int>(planes_[0].size), "JPEG"))
        return failure("cannot decode frame " + describe(format_, width_, height_));
    return copyImage(image, scratch);
}

} // namespace palmcue::camera
