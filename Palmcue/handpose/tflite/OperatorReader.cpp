// SPDX-License-Identifier: Apache-2.0
#include "handpose/tflite/OperatorReader.h"

#include "handpose/tflite/Schema.h"

namespace palmcue::handpose::tflite {

std::string GraphState::tensorText(int index) const {
    return "#" + std::to_string(index) + " '" + graph.tensors[index].name + "' " +
           shapeText(graph.tensors[index].shape);
}

OperatorReader::OperatorReader(const FlatBufferView& fb, GraphState& state, std::uint32_t index,
                               std::int32_t code, std::vector<int> inputs, Options options)
    : fb_(fb), state_(state), index_(index), name_(builtinText(code)), inputs_(std::move(inputs)),
      options_(options) {}

void OperatorReader::fail(const std::string& fault) const {
    throw ModelError("operator " + std::to_string(index_) + " (" + name_ + "): " + fault);
}

void OperatorReader::checkOptionsType(std::uint8_t tag) const {
    if (options_.type != tag)
        fail("options have type " + std::to_string(options_.type) + ", expected " +
             std::to_string(tag));
}

void OperatorReader::requireOptions(std::uint8_t tag) const {
    if (!options_.present)
        fail("options are missing");
    checkOptionsType(tag);
}

bool OperatorReader::optionalOptions(std::uint8_t tag) const {
    if (options_.present)
        checkOptionsType(tag);
    return options_.present;
}

Activation OperatorReader::activation(int field) const {
    const std::int8_t value = option<std::int8_t>(field, kNone);
    switch (value) {
    case kNone:
        return Activation::None;
    case kRelu:
        return Activation::Relu;
    case kReluN1To1:
        return Activation::ReluN1To1;
    case kRelu6:
        return Activation::Relu6;
    default:
        fail("unsupported fused activation " + std::to_string(value));
    }
}

int OperatorReader::input(std::size_t i) const {
    if (i >= inputs_.size() || inputs_[i] < 0)
        fail("input " + std::to_string(i) + " is missing");
    return inputs_[i];
}

void OperatorReader::requireCount(std::size_t minimum, std::size_t maximum) const {
    if (inputs_.size() < minimum || inputs_.size() > maximum)
        fail("has " + std::to_string(inputs_.size()) + " inputs");
}

void OperatorReader::requireValue(int t, const char* role) const {
    if (!state_.defined[t])
        fail(std::string(role) + " " + tensorText(t) + " is read before it is computed");
    if (state_.raw[t].type != Float32 || shapeOf(t).empty())
        fail(std::string(role) + " " + tensorText(t) + " is not a float32 tensor");
}

void OperatorReader::requireFeatureMap(int t) const {
    requireValue(t, "input");
    requireRank(t, 4, "input");
}

void OperatorReader::requireConstant(int t, const char* role) const {
    if (!tensor(t).isConstant())
        fail(std::string(role) + " " + tensorText(t) + " must be constant");
}

void OperatorReader::requireRank(int t, std::size_t rank, const char* role) const {
    if (shapeOf(t).size() != rank)
        fail(std::string(role) + " " + tensorText(t) + " must have rank " + std::to_string(rank));
}

const std::vector<std::int32_t>& OperatorReader::intConstant(int t, const char* role) const {
    if (!tensor(t).isIntegral)
        fail(std::string(role) + " " + tensorText(t) + " must be an int32 constant");
    return tensor(t).intConstant;
}

int OperatorReader::optionalBias(std::int64_t count, const char* owner) const {
    const int bias = inputs_.size() == 3 ? inputs_[2] : -1;
    if (bias >= 0) {
        requireConstant(bias, "bias");
        if (tensor(bias).elementCount() != count)
            fail("bias " + tensorText(bias) + " does not fit " + owner);
    }
    return bias;
}

} // namespace palmcue::handpose::tflite
