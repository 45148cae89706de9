// SPDX-License-Identifier: Apache-2.0
// One model imported into an XNNPACK runtime. The runtime is built once and bound once to the
// input, output and intermediate buffers owned here, so running it allocates nothing. The weights
// live once, in XNNPACK's packed form: the graph's own copies of them are released after the build.
#pragma once

#include "engine/Result.h"
#include "handpose/ModelGraph.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct pthreadpool;
struct xnn_runtime;

namespace palmcue::handpose {

class XnnpackNetwork {
public:
    // Builds the runtime; a failure names the model file and the operator at fault. A null
    // pool gives a runtime that runs on the calling thread; on a pool, the workers go to sleep
    // after each run instead of spinning for the next one.
    static Result<std::unique_ptr<XnnpackNetwork>> create(ModelGraph graph, pthreadpool* pool);
    ~XnnpackNetwork();
    XnnpackNetwork(const XnnpackNetwork&) = delete;
    XnnpackNetwork& operator=(const XnnpackNetwork&) = delete;

    std::span<float> input(std::size_t index = 0);
    std::span<const float> output(std::size_t index) const;
    // The model as built: its shapes and operators. Constants that XNNPACK packed (filters,
    // biases, PReLU slopes) are empty here.
    const ModelGraph& graph() const { return graph_; }

    Result<void> run();

    // Bytes of the buffer that holds the tensors between operators.
    std::size_t intermediateBytes() const { return intermediates_->size() * sizeof(float); }
    // Makes this network and `other` keep their tensors between operators in one buffer, the
    // larger of the two. Only for networks that never run at the same time. Fails (and leaves
    // the networks unusable) if XNNPACK refuses the new buffer.
    Result<void> shareIntermediatesWith(XnnpackNetwork& other);

private:
    struct Bound {
        std::uint32_t value;
        float* data;
    };
    struct Placed {
        std::uint32_t value;
        std::size_t offset; // in floats from the start of the buffer
    };

    explicit XnnpackNetwork(ModelGraph graph);
    void build(pthreadpool* pool);
    Result<void> bind();
    void releasePackedConstants();

    ModelGraph graph_;
    // XNNPACK may read a little past the end of an input: each buffer carries slack.
    std::vector<std::vector<float>> inputs_;
    std::vector<std::vector<float>> outputs_;
    std::vector<Bound> ioBindings_; // inputs, outputs and the tensors viewed in outputs
    // Every tensor between operators, at the offset our plan gave it.
    std::shared_ptr<std::vector<float>> intermediates_;
    std::vector<Placed> placed_;
    std::size_t plannedFloats_ = 0;
    xnn_runtime* runtime_ = nullptr;
};

} // namespace palmcue::handpose
