// SPDX-License-Identifier: Apache-2.0
// The in-memory form of a TFLite model after reading and validation: float32 tensors (fp16
// weights already widened), operators in execution order with their options resolved. Both the
// XNNPACK importer and the tests' reference interpreter run exactly this structure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace palmcue::handpose {

enum class OpKind {
    Add,
    Concatenation,
    Conv2D,
    DepthwiseConv2D,
    FullyConnected,
    Logistic,
    MaxPool2D,
    Mean,
    Pad,
    PRelu,
    Reshape,
    ResizeBilinear,
};

const char* opKindName(OpKind kind);

// Fused activations the models use, as clamp bounds.
enum class Activation { None, Relu, Relu6, ReluN1To1 };

struct GraphTensor {
    std::string name;
    std::vector<int> shape;
    // Constant data, widened to float32; empty for activations.
    std::vector<float> constant;
    // Integer constants (paddings, shapes, axes).
    std::vector<std::int32_t> intConstant;
    bool isIntegral = false;

    bool isConstant() const { return !constant.empty(); }
    std::int64_t elementCount() const;
};

struct GraphOp {
    OpKind kind = OpKind::Add;
    std::vector<int> inputs;  // tensor indices; -1 = optional input absent
    std::vector<int> outputs; // tensor indices
    Activation activation = Activation::None;
    // Convolution and pooling: explicit paddings resolved from SAME/VALID.
    int strideH = 1, strideW = 1;
    int dilationH = 1, dilationW = 1;
    int filterH = 1, filterW = 1; // pooling window; convolutions take it from the filter
    int padTop = 0, padBottom = 0, padLeft = 0, padRight = 0;
    int depthMultiplier = 1;
    int axis = 0;                         // concatenation, normalised to 0..rank-1
    bool halfPixelCenters = false;        // resize bilinear
    bool alignCorners = false;            // resize bilinear
    bool keepDims = false;                // mean, fully connected
    std::vector<int> padBefore, padAfter; // pad, per dimension
};

struct ModelGraph {
    std::string source; // file name, for messages
    std::vector<GraphTensor> tensors;
    std::vector<GraphOp> ops;
    std::vector<int> inputs;
    std::vector<int> outputs;
};

} // namespace palmcue::handpose
