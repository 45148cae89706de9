// SPDX-License-Identifier: Apache-2.0
// A deliberately naive interpreter for ModelGraph: straight loops with double accumulators,
// written from the TFLite operator definitions and sharing nothing with the XNNPACK import. The
// tests check the fast path against it.
#pragma once

#include "handpose/ModelGraph.h"

#include <vector>

namespace palmcue::handpose::test {

class ReferenceInterpreter {
public:
    explicit ReferenceInterpreter(const ModelGraph& graph);

    std::vector<float>& input(std::size_t index) { return values_[graph_.inputs.at(index)]; }
    const std::vector<float>& output(std::size_t index) const {
        return values_[graph_.outputs.at(index)];
    }
    void run();

private:
    const std::vector<float>& in(const GraphOp& op, std::size_t i) const {
        return values_[op.inputs[i]];
    }
    const std::vector<int>& shape(int tensor) const { return graph_.tensors[tensor].shape; }

    void conv(const GraphOp& op, bool depthwise);
    void maxPool(const GraphOp& op);
    void add(const GraphOp& op);
    void prelu(const GraphOp& op);
    void pad(const GraphOp& op);
    void resize(const GraphOp& op);
    void concatenate(const GraphOp& op);
    void mean(const GraphOp& op);
    void fullyConnected(const GraphOp& op);
    float activate(double value, Activation activation) const;

    const ModelGraph& graph_;
    std::vector<std::vector<float>> values_;
};

} // namespace palmcue::handpose::test
