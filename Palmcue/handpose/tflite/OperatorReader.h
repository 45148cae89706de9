// SPDX-License-Identifier: Apache-2.0
// What the operator readers share: the graph being built, and one operator's inputs and options
// with the checks every operator family makes on them.
#pragma once

#include "handpose/FlatBufferView.h"
#include "handpose/ModelGraph.h"
#include "handpose/tflite/TensorReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace palmcue::handpose::tflite {

// The graph as far as it is read, with what the file says about each tensor.
struct GraphState {
    ModelGraph graph;
    std::vector<RawTensor> raw;
    std::vector<bool> defined; // has a value once the operators so far have run
    std::int64_t activationElements = 0;

    // "#3 'name' [1,24,24,32]"
    std::string tensorText(int index) const;
};

// One operator of the subgraph. Every failure reads "operator <index> (<NAME>): <fault>".
class OperatorReader {
public:
    struct Options {
        std::uint8_t type = 0; // BuiltinOptions union tag
        bool present = false;
        FlatBufferView::Table table;
    };

    OperatorReader(const FlatBufferView& fb, GraphState& state, std::uint32_t index,
                   std::int32_t code, std::vector<int> inputs, Options options);

    [[noreturn]] void fail(const std::string& fault) const;

    // Options: the table must be there with this tag, or may be absent (returns whether it is).
    void requireOptions(std::uint8_t tag) const;
    bool optionalOptions(std::uint8_t tag) const;
    template <typename T> T option(int field, T fallback) const {
        return fb_.scalar<T>(options_.table, field, fallback);
    }
    // The fused activation held in option `field`.
    Activation activation(int field) const;

    // Inputs, as tensor indices; -1 marks an absent optional input.
    const std::vector<int>& inputs() const { return inputs_; }
    int input(std::size_t i) const; // fails when input i is absent
    void requireCount(std::size_t minimum, std::size_t maximum) const;
    // A float32 activation already computed by an earlier operator.
    void requireValue(int t, const char* role) const;
    // requireValue for an image-like input: rank 4, NHWC.
    void requireFeatureMap(int t) const;
    void requireConstant(int t, const char* role) const;
    void requireRank(int t, std::size_t rank, const char* role) const;
    const std::vector<std::int32_t>& intConstant(int t, const char* role) const;
    // The optional third input: a constant of `count` elements, or -1 when absent. `owner` names
    // what it must fit ("the filter").
    int optionalBias(std::int64_t count, const char* owner) const;

    const GraphTensor& tensor(int t) const { return state_.graph.tensors[t]; }
    const std::vector<int>& shapeOf(int t) const { return tensor(t).shape; }
    std::string tensorText(int t) const { return state_.tensorText(t); }
    GraphState& state() { return state_; }

private:
    void checkOptionsType(std::uint8_t tag) const;

    const FlatBufferView& fb_;
    GraphState& state_;
    std::uint32_t index_;
    std::string name_;
    std::vector<int> inputs_;
    Options options_;
};

} // namespace palmcue::handpose::tflite
