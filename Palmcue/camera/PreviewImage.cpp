// SPDX-License-Identifier: Apache-2.0
#include "camera/PreviewImage.h"

#include "camera/FrameConversion.h"

#include <algorithm>
#include <cmath>
#include <libyuv/planar_functions.h>
#include <libyuv/scale_argb.h>

namespace palmcue::camera {
namespace {

// The frame as BGRA: through our conversion where it has one, through Qt otherwise. `keep`
// holds Qt's picture while the view points into it.
Result<ImageView> frameBgra(const QVideoFrame& frame, std::vector<std::uint8_t>& scratch,
                            QImage& keep) {
    if (!convertsDirectly(frame.pixelFormat())) {
        keep = frame.toImage().convertToFormat(QImage::Format_RGB32); // opaque BGRA bytes
        if (keep.isNull())
            return failure("cannot read frame");
        return ImageView{keep.constBits(), keep.width(), keep.height(),
                         static_cast<int>(keep.bytesPerLine())};
    }
    return convertToBgra(frame, scratch);
}

} // namespace

QImage previewImage(const QVideoFrame& frame, const PreviewShape& shape,
                    std::vector<std::uint8_t>& scratch) {
    const int width = shape.size.width();
    const int height = shape.size.height();
    if (width <= 0 || height <= 0 || !frame.isValid())
        return {};
    QImage keep;
    const Result<ImageView> source = frameBgra(frame, scratch, keep);
    if (!source)
        return {};
    // Aspect fill: the largest centred part of the frame with the panel's shape.
    const double scale = std::max(double(width) / source->width, double(height) / source->height);
    const int cropWidth = std::clamp(int(std::lround(width / scale)), 1, source->width);
    const int cropHeight = std::clamp(int(std::lround(height / scale)), 1, source->height);
    const std::uint8_t* crop = source->data +
                               std::size_t(source->height - cropHeight) / 2 * source->bytesPerRow +
                               std::size_t(source->width - cropWidth) / 2 * 4;

    QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return {};
    const int stride = static_cast<int>(picture.bytesPerLine());
    if (shape.mirrored) {
        QImage scaled(width, height, QImage::Format_ARGB32_Premultiplied);
        if (scaled.isNull())
            return {};
        libyuv::ARGBScale(crop, source->bytesPerRow, cropWidth, cropHeight, scaled.bits(), stride,
                          width, height, libyuv::kFilterBilinear);
        libyuv::ARGBMirror(scaled.constBits(), stride, picture.bits(), stride, width, height);
    } else {
        libyuv::ARGBScale(crop, source->bytesPerRow, cropWidth, cropHeight, picture.bits(), stride,
                          width, height, libyuv::kFilterBilinear);
    }
    // The picture is opaque, whatever a frame's fourth byte holds: only its corners are not.
    // YUV conversions make opaque pixels by themselves.
    if (isRgb32(frame.pixelFormat()))
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = picture.scanLine(y);
            for (int x = 0; x < width; ++x)
                row[4 * x + 3] = 0xff;
        }
    roundCorners(picture, shape.cornerRadius);
    return picture;
}

void roundCorners(QImage& image, double radius) {
    radius = std::min({radius, image.width() / 2.0, image.height() / 2.0});
    if (radius <= 0)
        return;
    const int extent = static_cast<int>(std::ceil(radius));
    for (int dy = 0; dy < extent; ++dy) {
        for (int dx = 0; dx < extent; ++dx) {
            // Coverage of the pixel by the circle, from its centre's distance to the arc.
            const double distance = std::hypot(radius - (dx + 0.5), radius - (dy + 0.5));
            const double inside =
                (dx + 0.5 >= radius || dy + 0.5 >= radius) ? 1.0 : radius - distance + 0.5;
            const double coverage = std::clamp(inside, 0.0, 1.0);
            if (coverage >= 1.0)
                continue;
            for (const auto& [x, y] :
                 {std::pair{dx, dy}, std::pair{image.width() - 1 - dx, dy},
                  std::pair{dx, image.height() - 1 - dy},
                  std::pair{image.width() - 1 - dx, image.height() - 1 - dy}}) {
                std::uint8_t* pixel = image.scanLine(y) + 4 * x;
                for (int c = 0; c < 4; ++c)
                    pixel[c] = static_cast<std::uint8_t>(std::lround(pixel[c] * coverage));
            }
        }
    }
}

} // namespace palmcue::camera
