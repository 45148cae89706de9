// SPDX-License-Identifier: Apache-2.0
#include "camera/FramePixelBuffer.h"

#include "camera/FrameConversion.h"
#include "camera/ImagePixelBuffer.h"

#include <QImage>
#include <array>

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
    // A copy shares the frame; mapping it leaves the preview's copy as it is.
    QVideoFrame mapped(frame_);
    if (!mapped.map(QVideoFrame::ReadOnly))
        return failure("cannot map frame " +
                       describeFrame(frame_.pixelFormat(), frame_.width(), frame_.height()));
    std::array<PlaneView, 4> views{};
    const int count = std::min(mapped.planeCount(), static_cast<int>(views.size()));
    for (int i = 0; i < count; ++i)
        views[i] = {mapped.bits(i), static_cast<std::size_t>(std::max(mapped.mappedBytes(i), 0)),
                    mapped.bytesPerLine(i)};
    const QVideoFrameFormat surface = frame_.surfaceFormat();
    Result<ImageView> picture = convertToBgra(
        {frame_.pixelFormat(), frame_.width(), frame_.height(), surface.colorSpace(),
         surface.colorRange()},
        std::span<const PlaneView>(views.data(), static_cast<std::size_t>(count)), scratch);
    mapped.unmap();
    return picture;
}

} // namespace palmcue::camera
