// SPDX-License-Identifier: Apache-2.0
#include "camera/FramePixelBuffer.h"

#include "camera/FrameConversion.h"
#include "camera/ImagePixelBuffer.h"

#include <QImage>

namespace palmcue::camera {

std::shared_ptr<const PixelBuffer> FramePixelBuffer::capture(const QVideoFrame& frame) {
    const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
    // Described only on the error paths: this runs for every delivered frame.
    const auto name = [&] { return describeFrame(format, frame.width(), frame.height()); };
    if (!frame.isValid() || frame.width() <= 0 || frame.height() <= 0)
        return std::shared_ptr<FramePixelBuffer>(new FramePixelBuffer("empty frame " + name()));
    if (convertsDirectly(format))
        return std::shared_ptr<FramePixelBuffer>(new FramePixelBuffer(frame));
    // Rare layouts (10-bit, IMC, AYUV...).
    QImage image = frame.toImage();
    if (image.isNull())
        return std::shared_ptr<FramePixelBuffer>(
            new FramePixelBuffer("unsupported frame format " + name()));
    return std::make_shared<ImagePixelBuffer>(std::move(image));
}

Result<ImageView> FramePixelBuffer::bgra(std::vector<std::uint8_t>& scratch) const {
    if (!error_.empty())
        return failure(error_);
    return convertToBgra(frame_, scratch);
}

} // namespace palmcue::camera
