// SPDX-License-Identifier: Apache-2.0
#include "handpose/tflite/TensorReader.h"

#include <cmath>
#include <cstring>

namespace palmcue::handpose::tflite {
namespace {

// The bytes of buffer `index`: inline in the flatbuffer, or at an offset/size relative to the file
// start (how models past the 2 GB flatbuffer limit store their weights).
std::span<const std::uint8_t> bufferData(const FlatBufferView& fb,
                                         const FlatBufferView::Vector& buffers, std::uint32_t index,
                                         const std::string& tensor) {
    if (index >= buffers.length)
        throw ModelError("tensor " + tensor + " refers to buffer " + std::to_string(index) +
                         " of " + std::to_string(buffers.length));
    const auto buffer = fb.tableElement(buffers, index);
    const auto offset = fb.scalar<std::uint64_t>(buffer, BufferField::Offset, 0);
    if (offset > 1) {
        const auto size = fb.scalar<std::uint64_t>(buffer, BufferField::Size, 0);
        const auto all = fb.data();
        if (offset > all.size() || size > all.size() - offset)
            throw ModelError("buffer " + std::to_string(index) + " lies outside the file");
        return all.subspan(offset, size);
    }
    return fb.bytes(fb.vector(buffer, BufferField::Data, 1));
}

// Reads the shape into `shape` and returns its element count.
std::int64_t readShape(const FlatBufferView& fb, const FlatBufferView::Table& table,
                       const std::string& label, std::vector<int>& shape) {
    const auto dims = fb.vector(table, TensorField::Shape, 4);
    if (dims.length > kMaxRank)
        throw ModelError("tensor " + label + " has rank " + std::to_string(dims.length));
    std::int64_t count = 1;
    for (std::uint32_t d = 0; d < dims.length; ++d) {
        const std::int32_t dim = fb.element<std::int32_t>(dims, d);
        if (dim < 1 || dim > kMaxElements)
            throw ModelError("tensor " + label + " has dimension " + std::to_string(dim));
        count *= dim;
        if (count > kMaxElements)
            throw ModelError("tensor " + label + " is too large");
        shape.push_back(dim);
    }
    return count;
}

std::size_t elementSize(std::int8_t type) {
    switch (type) {
    case Float32:
    case Int32:
        return 4;
    case Float16:
        return 2;
    default:
        return 0;
    }
}

// Copies float32 and int32 constant data out of the file; float16 data is left to DEQUANTIZE.
void copyConstant(const RawTensor& raw, std::int64_t count, const std::string& label,
                  GraphTensor& tensor) {
    if (raw.type == Float32) {
        tensor.constant.resize(count);
        std::memcpy(tensor.constant.data(), raw.data.data(), raw.data.size());
        for (float v : tensor.constant)
            if (!std::isfinite(v))
                throw ModelError("tensor " + label + " holds a non-finite weight");
    } else if (raw.type == Int32) {
        tensor.isIntegral = true;
        tensor.intConstant.resize(count);
        std::memcpy(tensor.intConstant.data(), raw.data.data(), raw.data.size());
    }
}

void readTensor(const FlatBufferView& fb, const FlatBufferView::Table& table, std::uint32_t index,
                const FlatBufferView::Vector& buffers, GraphTensor& tensor, RawTensor& raw) {
    tensor.name = fb.string(table, TensorField::Name);
    const std::string label = "#" + std::to_string(index) + " '" + tensor.name + "'";
    const std::int64_t count = readShape(fb, table, label, tensor.shape);
    if (fb.has(table, TensorField::Sparsity))
        throw ModelError("tensor " + label + " is sparse, which is not supported");
    raw.type = fb.scalar<std::int8_t>(table, TensorField::Type, Float32);
    raw.data =
        bufferData(fb, buffers, fb.scalar<std::uint32_t>(table, TensorField::Buffer, 0), label);
    const std::size_t size = elementSize(raw.type);
    if (size == 0)
        throw ModelError("tensor " + label + " has unsupported type " + std::to_string(raw.type) +
                         " (only float32, float16 and int32 are supported)");
    if (raw.data.empty())
        return;
    if (raw.data.size() != std::size_t(count) * size)
        throw ModelError("tensor " + label + " of shape " + shapeText(tensor.shape) + " has " +
                         std::to_string(raw.data.size()) + " bytes of data, expected " +
                         std::to_string(count * size));
    copyConstant(raw, count, label, tensor);
}

} // namespace

void readTensors(const FlatBufferView& fb, const FlatBufferView::Table& subgraph,
                 const FlatBufferView::Vector& buffers, std::vector<GraphTensor>& tensors,
                 std::vector<RawTensor>& raw) {
    const auto table = fb.vector(subgraph, SubgraphField::Tensors, 4);
    tensors.resize(table.length);
    raw.resize(table.length);
    for (std::uint32_t i = 0; i < table.length; ++i)
        readTensor(fb, fb.tableElement(table, i), i, buffers, tensors[i], raw[i]);
}

float halfToFloat(std::uint16_t h) {
    const std::uint32_t sign = std::uint32_t(h & 0x8000u) << 16;
    std::uint32_t exponent = (h >> 10) & 0x1fu;
    std::uint32_t mantissa = h & 0x3ffu;
    std::uint32_t bits;
    if (exponent == 0x1f) {
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else { // subnormal: renormalise
            exponent = 113;
            while (!(mantissa & 0x400u)) {
                mantissa <<= 1;
                --exponent;
            }
            bits = sign | (exponent << 23) | ((mantissa & 0x3ffu) << 13);
        }
    } else {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    }
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string shapeText(const std::vector<int>& shape) {
    std::string text = "[";
    for (std::size_t i = 0; i < shape.size(); ++i)
        text += (i ? "," : "") + std::to_string(shape[i]);
    return text + "]";
}

} // namespace palmcue::handpose::tflite
