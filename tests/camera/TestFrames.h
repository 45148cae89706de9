// SPDX-License-Identifier: Apache-2.0
// Frames of every directly converted layout built in memory with known pixels: one colour per
// 2x2 block, so that subsampled chroma is exact, and rows padded so that an ignored stride shows.
#pragma once

#include "camera/FrameConversion.h"

#include <array>
#include <cstdint>
#include <vector>

namespace palmcue::test {

using camera::PlaneView;
using Format = QVideoFrameFormat::PixelFormat;

struct Rgb {
    int r, g, b;
};

Rgb colourAt(int x, int y);

// BT.601 video range.
int yOf(Rgb c);
int uOf(Rgb c);
int vOf(Rgb c);

constexpr std::uint8_t kPadByte = 0xEE; // in row padding: shows up if a stride is ignored

// A frame built in memory, rows padded by `pad` bytes.
struct TestFrame {
    std::vector<std::vector<std::uint8_t>> planes;
    std::vector<int> strides;

    std::uint8_t* row(int plane, int y) { return planes[plane].data() + strides[plane] * y; }
    void addPlane(int rowBytes, int rows, int pad) {
        strides.push_back(rowBytes + pad);
        planes.emplace_back(static_cast<std::size_t>(rowBytes + pad) * rows, kPadByte);
    }
    std::vector<PlaneView> views() const {
        std::vector<PlaneView> v;
        for (std::size_t i = 0; i < planes.size(); ++i)
            v.push_back({planes[i].data(), planes[i].size(), strides[i]});
        return v;
    }
};

bool isYuv(Format f);

// `f` of w×h with colourAt()'s pixels (Y8: their green), rows padded by `pad` bytes.
TestFrame makeFrame(Format f, int w, int h, int pad);

} // namespace palmcue::test
