// SPDX-License-Identifier: Apache-2.0
// The parts of the TFLite schema (tensorflow/lite/schema/schema.fbs) this reader uses, by name.
// Field constants are vtable slots: the n-th field declared in the table, where a union takes
// two slots (the type byte, then the table).
#pragma once

#include <cstdint>
#include <string>

namespace palmcue::handpose::tflite {

namespace ModelField {
constexpr int Version = 0, OperatorCodes = 1, Subgraphs = 2, Buffers = 4;
}
namespace OpCodeField {
constexpr int DeprecatedBuiltinCode = 0, CustomCode = 1, BuiltinCode = 3;
}
namespace SubgraphField {
constexpr int Tensors = 0, Inputs = 1, Outputs = 2, Operators = 3;
}
namespace TensorField {
constexpr int Shape = 0, Type = 1, Buffer = 2, Name = 3, Sparsity = 6;
}
namespace BufferField {
constexpr int Data = 0, Offset = 1, Size = 2;
}
namespace OperatorField {
constexpr int OpcodeIndex = 0, Inputs = 1, Outputs = 2, OptionsType = 3, Options = 4;
}

// Option tables. The two convolution tables share their fields, but the depthwise one has
// depth_multiplier at slot 3, which shifts the rest (the reader takes the multiplier from the
// filter shape instead).
struct ConvolutionOptionsFields {
    int Padding, StrideW, StrideH, FusedActivation, DilationW, DilationH;
};
constexpr ConvolutionOptionsFields Conv2DOptionsField{0, 1, 2, 3, 4, 5};
constexpr ConvolutionOptionsFields DepthwiseConv2DOptionsField{0, 1, 2, 4, 5, 6};
namespace Pool2DOptionsField {
constexpr int Padding = 0, StrideW = 1, StrideH = 2, FilterWidth = 3, FilterHeight = 4,
              FusedActivation = 5;
}
namespace AddOptionsField {
constexpr int FusedActivation = 0;
}
namespace ConcatenationOptionsField {
constexpr int Axis = 0, FusedActivation = 1;
}
namespace ResizeBilinearOptionsField {
constexpr int AlignCorners = 2, HalfPixelCenters = 3;
}
namespace ReducerOptionsField {
constexpr int KeepDims = 0;
}
namespace FullyConnectedOptionsField {
constexpr int FusedActivation = 0, WeightsFormat = 1, KeepNumDims = 2;
}

enum TensorType : std::int8_t { Float32 = 0, Float16 = 1, Int32 = 2 };

// Padding and ActivationFunctionType enum values.
enum Padding : std::int8_t { kSame = 0, kValid = 1 };
enum ActivationFunctionType : std::int8_t { kNone = 0, kRelu = 1, kReluN1To1 = 2, kRelu6 = 3 };

enum Builtin : std::int32_t {
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
    kCustom = 32,
    kPad = 34,
    kMean = 40,
    kPrelu = 54,
};

// BuiltinOptions union tags of the option tables read here.
enum OptionsTag : std::uint8_t {
    kConv2DOptions = 1,
    kDepthwiseConv2DOptions = 2,
    kPool2DOptions = 5,
    kFullyConnectedOptions = 8,
    kConcatenationOptions = 10,
    kAddOptions = 11,
    kResizeBilinearOptions = 15,
    kReshapeOptions = 17,
    kPadOptions = 22,
    kReducerOptions = 27,
};

// "CONV_2D" for a known builtin code, "builtin operator <code>" for any other.
std::string builtinText(std::int32_t code);

} // namespace palmcue::handpose::tflite
