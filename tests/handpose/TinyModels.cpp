// SPDX-License-Identifier: Apache-2.0
#include "TinyModels.h"

#include <cstring>
#include <random>

namespace palmcue::handpose::test {

std::vector<float> noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> values(count);
    for (float& v : values)
        v = uniform(random);
    return values;
}

TinyModelWriter tinyConvModel() {
    TinyModelWriter m;
    const int x = m.addTensor({1, 4, 4, 2});
    // float16: 1.5, -2, 0.5, 0.25, smallest subnormal, -1
    const std::uint16_t half[] = {0x3E00, 0xC000, 0x3800, 0x3400, 0x0001, 0xBC00};
    const int w16 = m.addTensor({3, 1, 1, 2});
    m.tensors[w16].type = 1;
    m.tensors[w16].data.resize(sizeof half);
    std::memcpy(m.tensors[w16].data.data(), half, sizeof half);
    const int w = m.addTensor({3, 1, 1, 2});
    const int bias = m.addTensor({3}, {0.1f, 0.2f, -0.3f});
    const int y = m.addTensor({1, 4, 4, 3});
    const int z = m.addTensor({1, 4, 4, 3});
    m.addOp({kDequantize, {w16}, {w}, 0, {}, {}});
    m.addOp({kConv2D,
             {x, w, bias},
             {y},
             kConv2DOptions,
             {{0, 1, 1 /* VALID */}, {1, 4, 1}, {2, 4, 1}, {3, 1, 3 /* RELU6 */}},
             {}});
    m.addOp({kAdd, {y, y}, {z}, 0, {}, {}});
    m.inputs = {x};
    m.outputs = {z};
    return m;
}

TinyModelWriter allOpsModel() {
    TinyModelWriter m;
    const int x = m.addTensor({1, 6, 6, 3});
    const int cw = m.addTensor({4, 3, 3, 3}, noise(4 * 3 * 3 * 3, 1));
    const int cb = m.addTensor({4}, noise(4, 2));
    const int c = m.addTensor({1, 6, 6, 4});
    m.addOp({kConv2D,
             {x, cw, cb},
             {c},
             kConv2DOptions,
             {{0, 1, 0 /* SAME */}, {1, 4, 1}, {2, 4, 1}},
             {}});
    const int slope = m.addTensor({1, 1, 4}, {0.1f, -0.2f, 0.3f, 0.5f});
    const int p = m.addTensor({1, 6, 6, 4});
    m.addOp({kPrelu, {c, slope}, {p}, 0, {}, {}});
    const int dw = m.addTensor({1, 3, 3, 8}, noise(3 * 3 * 8, 3));
    const int db = m.addTensor({8}, noise(8, 4));
    const int d = m.addTensor({1, 3, 3, 8});
    m.addOp({kDepthwiseConv2D,
             {p, dw, db},
             {d},
             kDepthwiseConv2DOptions,
             {{0, 1, 0}, {1, 4, 2}, {2, 4, 2}, {3, 4, 2}, {4, 1, 1 /* RELU */}},
             {}});
    const int paddings = m.addIntTensor({4, 2}, {0, 0, 0, 0, 0, 0, 0, 4});
    const int padded = m.addTensor({1, 3, 3, 12});
    m.addOp({kPad, {d, paddings}, {padded}, 0, {}, {}});
    const int pooled = m.addTensor({1, 2, 2, 12});
    m.addOp({kMaxPool2D,
             {padded},
             {pooled},
             kPool2DOptions,
             {{0, 1, 0}, {1, 4, 2}, {2, 4, 2}, {3, 4, 2}, {4, 4, 2}},
             {}});
    const int size = m.addIntTensor({2}, {3, 3});
    const int up = m.addTensor({1, 3, 3, 12});
    m.addOp({kResizeBilinear, {pooled, size}, {up}, kResizeBilinearOptions, {{3, 1, 1}}, {}});
    const int flatA = m.addTensor({1, 9, 12});
    m.addOp({kReshape, {up}, {flatA}, 0, {}, {}});
    const int flatB = m.addTensor({1, 9, 12});
    m.addOp({kReshape, {padded}, {flatB}, 0, {}, {}});
    const int joined = m.addTensor({1, 18, 12});
    m.addOp({kConcatenation, {flatA, flatB}, {joined}, kConcatenationOptions, {{0, 4, -2}}, {}});
    const int grid = m.addTensor({1, 3, 6, 12});
    m.addOp({kReshape, {joined}, {grid}, 0, {}, {}});
    const int axes = m.addIntTensor({2}, {1, 2});
    const int pooledMean = m.addTensor({1, 12});
    m.addOp({kMean, {grid, axes}, {pooledMean}, 0, {}, {}});
    const int fw = m.addTensor({5, 12}, noise(60, 5));
    const int fb = m.addTensor({5}, noise(5, 6));
    const int fc = m.addTensor({1, 5});
    m.addOp({kFullyConnected, {pooledMean, fw, fb}, {fc}, kFullyConnectedOptions, {}, {}});
    const int sig = m.addTensor({1, 5});
    m.addOp({kLogistic, {fc}, {sig}, 0, {}, {}});
    m.inputs = {x};
    m.outputs = {sig, joined};
    return m;
}

} // namespace palmcue::handpose::test
