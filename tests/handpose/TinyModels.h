// SPDX-License-Identifier: Apache-2.0
// Small hand-written models shared by the reader and network tests.
#pragma once

#include "TinyModelWriter.h"

namespace palmcue::handpose::test {

// TFLite builtin operator codes and option-table tags used by the tests.
enum Builtin {
    kAdd = 0,
    kConcatenation = 2,
    kConv2D = 3,
    kDepthwiseConv2D = 4,
    kDequantize = 6,
    kFullyConnected = 9,
    kLogistic = 14,
    kMaxPool2D = 17,
    kReshape = 22,
    kResizeBilinear = 23,
    kSoftmax = 25,
    kCustom = 32,
    kPad = 34,
    kMean = 40,
    kPrelu = 54,
};
enum OptionsTag {
    kConv2DOptions = 1,
    kDepthwiseConv2DOptions = 2,
    kPool2DOptions = 5,
    kFullyConnectedOptions = 8,
    kConcatenationOptions = 10,
    kAddOptions = 11,
    kResizeBilinearOptions = 15,
};

// x [1,4,4,2] → 1×1 convolution with float16 weights behind DEQUANTIZE, RELU6 → ADD with
// itself. Input 0, output the ADD result.
TinyModelWriter tinyConvModel();

// Every operator kind the importer handles, small enough to check against the reference
// interpreter in a blink: conv, depthwise (stride 2, SAME), prelu, pad, max pool, resize,
// concatenation along the middle axis, reshape, mean, fully connected and logistic.
TinyModelWriter allOpsModel();

// Deterministic pseudo-random values in [-1, 1].
std::vector<float> noise(std::size_t count, unsigned seed);

} // namespace palmcue::handpose::test
