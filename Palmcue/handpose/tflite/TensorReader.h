// SPDX-License-Identifier: Apache-2.0
// Reads the subgraph's tensor table: names, shapes, element types and constant data, refusing
// whatever the hand models do not use. Float32 and int32 constants are copied out; float16
// weights stay raw until DEQUANTIZE widens them with halfToFloat.
#pragma once

#include "handpose/FlatBufferView.h"
#include "handpose/ModelGraph.h"
#include "handpose/tflite/Schema.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace palmcue::handpose::tflite {

constexpr int kMaxRank = 6;
constexpr std::int64_t kMaxElements = 1 << 26;

// A tensor as the file stores it; `data` is empty for activations.
struct RawTensor {
    std::int8_t type = Float32;
    std::span<const std::uint8_t> data;
};

// Fills `tensors` and `raw` with one entry per tensor of `subgraph`; `buffers` is the model's
// buffer vector.
void readTensors(const FlatBufferView& fb, const FlatBufferView::Table& subgraph,
                 const FlatBufferView::Vector& buffers, std::vector<GraphTensor>& tensors,
                 std::vector<RawTensor>& raw);

// IEEE half to float, exact for every value including subnormals, infinities and NaN.
float halfToFloat(std::uint16_t h);

// "[1,192,192,3]"
std::string shapeText(const std::vector<int>& shape);

} // namespace palmcue::handpose::tflite
