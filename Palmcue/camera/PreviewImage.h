// SPDX-License-Identifier: Apache-2.0
// The live picture as the preview panel shows it, made on the CPU from one camera frame: the
// part of the frame that fills the panel with its aspect ratio kept (the rest cropped), scaled
// to the panel's size in device pixels, mirrored, with its corners rounded off (transparent).
// The scene graph then draws one small texture as it is: no per-frame upload of the whole
// frame, no scaling or mirroring on the GPU, no offscreen layer for the corners. Given the
// colour behind it, the picture is opaque, its corners blended over that colour: drawn without
// blending, and hiding whatever lies under it, which is then not drawn at all.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QVideoFrame>
#include <array>
#include <cstdint>
#include <vector>

namespace palmcue::camera {

struct PreviewShape {
    QSize size;              // device pixels
    bool mirrored = true;    // as a mirror shows the user
    double cornerRadius = 0; // device pixels
    QColor backdrop;         // what the corners show; without an opaque one, they are clear
};

// What making pictures reuses from frame to frame, so that a picture a frame touches no fresh
// memory: the shown part of the frame, converted, then scaled, and the pictures, each drawn
// into again once nothing else holds it (the scene graph lets go of one when given the next).
struct PreviewBuffers {
    std::vector<std::uint8_t> converted;
    std::vector<std::uint8_t> scaled; // before mirroring
    std::array<QImage, 2> pictures;
};

// A picture of `shape.size`, RGB32 over an opaque backdrop and premultiplied ARGB32 otherwise,
// or a null image for an empty size or a frame that cannot be read.
QImage previewImage(const QVideoFrame& frame, const PreviewShape& shape, PreviewBuffers& buffers);

// Fades the four corners of `image` out along a circle of `radius`: into `backdrop` when it is
// opaque, else to transparency (the image is premultiplied).
void roundCorners(QImage& image, double radius, const QColor& backdrop = {});

} // namespace palmcue::camera
