// SPDX-License-Identifier: Apache-2.0
#include "camera/ImagePixelBuffer.h"

#include <QtEndian>

namespace palmcue::camera {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN,
              "QImage::Format_ARGB32 is BGRA only on little-endian");

ImagePixelBuffer::ImagePixelBuffer(const QImage& image)
    : image_(image.convertToFormat(QImage::Format_ARGB32)) {}

Result<ImageView> ImagePixelBuffer::bgra(std::vector<std::uint8_t>& /*scratch*/) const {
    if (image_.isNull())
        return failure("empty image");
    // constBits() never detaches, so concurrent readers on other threads are safe.
    return ImageView{image_.constBits(), image_.width(), image_.height(),
                     static_cast<int>(image_.bytesPerLine())};
}

} // namespace palmcue::camera
