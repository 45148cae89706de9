// SPDX-License-Identifier: Apache-2.0
#include "camera/TestFrames.h"

#include <cmath>
#include <cstring>

namespace palmcue::test {
namespace {

// Byte positions of R, G, B and alpha in one 32-bit pixel of a packed format.
std::array<int, 4> packedOrder(Format f) {
    switch (f) {
    case QVideoFrameFormat::Format_BGRA8888:
    case QVideoFrameFormat::Format_BGRX8888:
        return {2, 1, 0, 3};
    case QVideoFrameFormat::Format_ARGB8888:
    case QVideoFrameFormat::Format_XRGB8888:
        return {1, 2, 3, 0};
    case QVideoFrameFormat::Format_RGBA8888:
    case QVideoFrameFormat::Format_RGBX8888:
        return {0, 1, 2, 3};
    default: // ABGR, XBGR
        return {3, 2, 1, 0};
    }
}

} // namespace

// One colour per 2x2 block, so that subsampled chroma is exact.
Rgb colourAt(int x, int y) {
    static constexpr Rgb kPalette[] = {{200, 50, 30},   {40, 180, 90},  {60, 70, 210},
                                       {128, 128, 128}, {230, 220, 40}, {20, 30, 40},
                                       {90, 200, 220},  {180, 90, 160}, {240, 240, 240}};
    return kPalette[((x / 2) + 3 * (y / 2)) % 9];
}

// BT.601 video range.
int yOf(Rgb c) {
    return static_cast<int>(std::lround(16 + (65.481 * c.r + 128.553 * c.g + 24.966 * c.b) / 255));
}
int uOf(Rgb c) {
    return static_cast<int>(std::lround(128 + (-37.797 * c.r - 74.203 * c.g + 112.0 * c.b) / 255));
}
int vOf(Rgb c) {
    return static_cast<int>(std::lround(128 + (112.0 * c.r - 93.786 * c.g - 18.214 * c.b) / 255));
}

bool isYuv(Format f) {
    switch (f) {
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
    case QVideoFrameFormat::Format_YUV422P:
    case QVideoFrameFormat::Format_YUYV:
    case QVideoFrameFormat::Format_UYVY:
        return true;
    default:
        return false;
    }
}

TestFrame makeFrame(Format f, int w, int h, int pad) {
    TestFrame frame;
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    switch (f) {
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21: {
        frame.addPlane(w, h, pad);
        frame.addPlane(cw * 2, ch, pad);
        const bool vFirst = f == QVideoFrameFormat::Format_NV21;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame.row(0, y)[x] = static_cast<std::uint8_t>(yOf(colourAt(x, y)));
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x) {
                const Rgb c = colourAt(2 * x, 2 * y);
                frame.row(1, y)[2 * x + (vFirst ? 1 : 0)] = static_cast<std::uint8_t>(uOf(c));
                frame.row(1, y)[2 * x + (vFirst ? 0 : 1)] = static_cast<std::uint8_t>(vOf(c));
            }
        break;
    }
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
    case QVideoFrameFormat::Format_YUV422P: {
        const int chromaRows = f == QVideoFrameFormat::Format_YUV422P ? h : ch;
        const int rowsPerChroma = f == QVideoFrameFormat::Format_YUV422P ? 1 : 2;
        frame.addPlane(w, h, pad);
        frame.addPlane(cw, chromaRows, pad + 3);
        frame.addPlane(cw, chromaRows, pad + 1);
        const int uPlane = f == QVideoFrameFormat::Format_YV12 ? 2 : 1;
        const int vPlane = 3 - uPlane;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame.row(0, y)[x] = static_cast<std::uint8_t>(yOf(colourAt(x, y)));
        for (int y = 0; y < chromaRows; ++y)
            for (int x = 0; x < cw; ++x) {
                const Rgb c = colourAt(2 * x, rowsPerChroma * y);
                frame.row(uPlane, y)[x] = static_cast<std::uint8_t>(uOf(c));
                frame.row(vPlane, y)[x] = static_cast<std::uint8_t>(vOf(c));
            }
        break;
    }
    case QVideoFrameFormat::Format_YUYV:
    case QVideoFrameFormat::Format_UYVY: {
        frame.addPlane(cw * 4, h, pad);
        const bool yuyv = f == QVideoFrameFormat::Format_YUYV;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < cw; ++x) {
                const Rgb c = colourAt(2 * x, y);
                const auto luma = static_cast<std::uint8_t>(yOf(c));
                std::uint8_t* p = frame.row(0, y) + 4 * x;
                const std::uint8_t bytes[4] = {yuyv ? luma : static_cast<std::uint8_t>(uOf(c)),
                                               yuyv ? static_cast<std::uint8_t>(uOf(c)) : luma,
                                               yuyv ? luma : static_cast<std::uint8_t>(vOf(c)),
                                               yuyv ? static_cast<std::uint8_t>(vOf(c)) : luma};
                std::memcpy(p, bytes, 4);
            }
        break;
    }
    case QVideoFrameFormat::Format_Y8:
        frame.addPlane(w, h, pad);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame.row(0, y)[x] = static_cast<std::uint8_t>(colourAt(x, y).g);
        break;
    default: {
        frame.addPlane(w * 4, h, pad);
        const auto order = packedOrder(f);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgb c = colourAt(x, y);
                std::uint8_t* p = frame.row(0, y) + 4 * x;
                p[order[0]] = static_cast<std::uint8_t>(c.r);
                p[order[1]] = static_cast<std::uint8_t>(c.g);
                p[order[2]] = static_cast<std::uint8_t>(c.b);
                p[order[3]] = 255;
            }
    }
    }
    return frame;
}

} // namespace palmcue::test
