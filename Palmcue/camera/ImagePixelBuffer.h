// SPDX-License-Identifier: Apache-2.0
// A picture that is already decoded: a still image shown as a camera, or a frame Qt converted.
// Immutable once built, so one instance can be shared by every frame that shows it.
#pragma once

#include "engine/Services.h"

#include <QImage>

namespace palmcue::camera {

class ImagePixelBuffer : public PixelBuffer {
public:
    // Converts `image` to BGRA once; bgra() then hands out the pixels without copying.
    explicit ImagePixelBuffer(const QImage& image);

    Result<ImageView> bgra(std::vector<std::uint8_t>& scratch) const override;

    const QImage& image() const { return image_; }

private:
    QImage image_; // Format_ARGB32: B, G, R, A bytes on little-endian machines
};

} // namespace palmcue::camera
