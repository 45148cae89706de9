// SPDX-License-Identifier: Apache-2.0
// Defines a model's operators and tensors in an XNNPACK subgraph. Operators whose results
// nobody reads are left out, and the palm model's concatenated heads write straight into the
// output buffers.
#pragma once

#include "handpose/ArenaPlan.h"
#include "handpose/ModelGraph.h"

#include <cstddef>
#include <vector>

struct xnn_subgraph;

namespace palmcue::handpose {

struct ImportedGraph {
    // A tensor written straight into part of a model output's buffer.
    struct View {
        int tensor;
        std::size_t output; // index into graph.outputs
        std::size_t offset; // in floats
    };
    // A tensor between operators, to bind into the network's own buffer; size in floats.
    struct Intermediate {
        int tensor;
        TensorLife life;
    };
    // Tensors to bind into the output buffers, in place of the outputs assembled from them.
    std::vector<View> views;
    std::vector<bool> assembled; // per tensor: produced in place by its views, never defined
    std::vector<Intermediate> intermediates;
};

// Throws ModelError naming the operator XNNPACK refused.
ImportedGraph importGraph(const ModelGraph& graph, xnn_subgraph* subgraph);

} // namespace palmcue::handpose
