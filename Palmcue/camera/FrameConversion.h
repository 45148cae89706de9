// SPDX-License-Identifier: Apache-2.0
// Turns the planes of a camera frame, laid out as the camera delivered them (any stride), into
// the BGRA picture the hand-pose detector reads. Sizes are checked before any conversion reads
// a plane, so a short or oddly laid out frame gives an error, never a read past its end.
#pragma once

#include "engine/Services.h"

#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace palmcue::camera {

// One plane of a mapped frame.
struct PlaneView {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    int stride = 0;
};

struct FrameLayout {
    QVideoFrameFormat::PixelFormat format = QVideoFrameFormat::Format_Invalid;
    int width = 0;
    int height = 0;
    QVideoFrameFormat::ColorSpace colorSpace = QVideoFrameFormat::ColorSpace_Undefined;
    QVideoFrameFormat::ColorRange colorRange = QVideoFrameFormat::ColorRange_Unknown;
};

// Whether the format packs a pixel in 32 bits of R, G, B and a fourth byte (alpha or padding).
bool isRgb32(QVideoFrameFormat::PixelFormat format);

// Whether convertToBgra() takes frames of this format; Qt converts the others.
bool convertsDirectly(QVideoFrameFormat::PixelFormat format);

// The picture as BGRA, written into `scratch`.
Result<ImageView> convertToBgra(const FrameLayout& layout, std::span<const PlaneView> planes,
                                std::vector<std::uint8_t>& scratch);

// A Qt video frame of a directly converted format, mapped and converted into `scratch`.
Result<ImageView> convertToBgra(const QVideoFrame& frame, std::vector<std::uint8_t>& scratch);

// A rectangle of a frame, in its pixels.
struct FrameRegion {
    int x = 0, y = 0, width = 0, height = 0;
};

// Only `region` of the picture, kept inside the frame, as BGRA: the rest of the frame is not
// converted. Through `scratch`, like convertToBgra(). With a `rowStep` over 1, only every
// `rowStep`-th row is converted where the layout allows it exactly (not NV12, NV21 or JPEG; an
// even step for planar 4:2:0), from the even row at or above the region's top; the view's
// height says how many rows came.
Result<ImageView> convertRegionToBgra(const FrameLayout& layout, std::span<const PlaneView> planes,
                                      FrameRegion region, std::vector<std::uint8_t>& scratch,
                                      int rowStep = 1);
Result<ImageView> convertRegionToBgra(const QVideoFrame& frame, FrameRegion region,
                                      std::vector<std::uint8_t>& scratch, int rowStep = 1);

// The part of `image` that `region` covers, kept inside it.
ImageView regionOf(const ImageView& image, FrameRegion region);

// "NV12 (1280x720)", as error messages name a frame.
std::string describeFrame(QVideoFrameFormat::PixelFormat format, int width, int height);

} // namespace palmcue::camera
