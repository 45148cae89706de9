// SPDX-License-Identifier: Apache-2.0
#include "handpose/XnnpackNetwork.h"

#include "handpose/ArenaPlan.h"
#include "handpose/ModelError.h"
#include "handpose/XnnpackImporter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <xnnpack.h>

namespace palmcue::handpose {
namespace {

constexpr std::size_t kSlackFloats = 16; // > XNN_EXTRA_BYTES
constexpr std::size_t kLineFloats = 16;  // 64 bytes

// Floats to allocate for `planned` floats of intermediates: room to align the start to a line,
// and slack for XNNPACK's reads past the end.
std::size_t bufferFloats(std::size_t planned) {
    return planned + kLineFloats + kSlackFloats;
}

float* alignedToLine(float* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t line = kLineFloats * sizeof(float);
    return reinterpret_cast<float*>((address + line - 1) / line * line);
}

struct SubgraphDeleter {
    void operator()(xnn_subgraph* subgraph) const { xnn_delete_subgraph(subgraph); }
};

} // namespace

XnnpackNetwork::XnnpackNetwork(ModelGraph graph) : graph_(std::move(graph)) {}

XnnpackNetwork::~XnnpackNetwork() {
    if (runtime_)
        xnn_delete_runtime(runtime_);
}

Result<std::unique_ptr<XnnpackNetwork>> XnnpackNetwork::create(ModelGraph graph,
                                                               pthreadpool* pool) {
    std::unique_ptr<XnnpackNetwork> network(new XnnpackNetwork(std::move(graph)));
    try {
        network->build(pool);
    } catch (const ModelError& e) {
        return failure(network->graph_.source + ": " + e.what());
    } catch (const std::bad_alloc&) {
        return failure(network->graph_.source + ": out of memory while building the network");
    }
    return network;
}

void XnnpackNetwork::build(pthreadpool* pool) {
    if (xnn_initialize(nullptr) != xnn_status_success)
        throw ModelError("XNNPACK cannot run on this processor");
    for (const int t : graph_.inputs)
        inputs_.emplace_back(graph_.tensors[t].elementCount() + kSlackFloats, 0.0f);
    for (const int t : graph_.outputs)
        outputs_.emplace_back(graph_.tensors[t].elementCount() + kSlackFloats, 0.0f);
    xnn_subgraph_t raw = nullptr;
    if (xnn_create_subgraph(std::uint32_t(graph_.tensors.size()), 0, &raw) != xnn_status_success)
        throw ModelError("XNNPACK could not create a subgraph");
    // The runtime keeps what it needs: the subgraph goes once the runtime is built.
    std::unique_ptr<xnn_subgraph, SubgraphDeleter> subgraph(raw);
    const ImportedGraph imported = importGraph(graph_, raw);
    // On a pool, the workers would otherwise spin after a run, waiting for the next one that
    // comes only with the next frame; with the flag they sleep once the last operator is done.
    if (xnn_create_runtime_v2(raw, pool, pool ? XNN_FLAG_YIELD_WORKERS : 0, &runtime_) !=
        xnn_status_success)
        throw ModelError("XNNPACK could not create the runtime");

    for (std::size_t i = 0; i < graph_.inputs.size(); ++i)
        ioBindings_.push_back({std::uint32_t(graph_.inputs[i]), inputs_[i].data()});
    for (std::size_t i = 0; i < graph_.outputs.size(); ++i)
        if (!imported.assembled[std::size_t(graph_.outputs[i])])
            ioBindings_.push_back({std::uint32_t(graph_.outputs[i]), outputs_[i].data()});
    for (const auto& view : imported.views)
        ioBindings_.push_back(
            {std::uint32_t(view.tensor), outputs_[view.output].data() + view.offset});
    // One buffer for the tensors between operators, each placed where no tensor alive at the
    // same time lies. Rounding every size up to whole cache lines keeps each tensor aligned.
    std::vector<TensorLife> lives;
    for (const auto& intermediate : imported.intermediates) {
        lives.push_back(intermediate.life);
        lives.back().size = (lives.back().size + kLineFloats - 1) / kLineFloats * kLineFloats;
    }
    const ArenaPlan plan = planArena(lives);
    for (std::size_t i = 0; i < lives.size(); ++i)
        placed_.push_back({std::uint32_t(imported.intermediates[i].tensor), plan.offsets[i]});
    plannedFloats_ = plan.size;
    intermediates_ = std::make_shared<std::vector<float>>(bufferFloats(plannedFloats_), 0.0f);
    if (Result<void> bound = bind(); !bound)
        throw ModelError(bound.error());
    releasePackedConstants();
}

void XnnpackNetwork::releasePackedConstants() {
    // XNNPACK copies the filters and biases of convolutions and fully connected layers, and
    // PReLU slopes, into its packed layout when it creates the operators, and this snapshot
    // (no weights cache) never reads the originals again. Other constants (an operand of an
    // addition, say) are read as they are at every run and stay.
    std::vector<int> packed(graph_.tensors.size(), 0); // readers that pack, or -1 if any other
    for (const GraphOp& op : graph_.ops) {
        for (std::size_t i = 0; i < op.inputs.size(); ++i) {
            const int t = op.inputs[i];
            if (t < 0 || packed[std::size_t(t)] < 0)
                continue;
            const bool packs = ((op.kind == OpKind::Conv2D || op.kind == OpKind::DepthwiseConv2D ||
                                 op.kind == OpKind::FullyConnected) &&
                                i >= 1) ||
                               (op.kind == OpKind::PRelu && i == 1);
            packed[std::size_t(t)] = packs ? packed[std::size_t(t)] + 1 : -1;
        }
    }
    for (const int t : graph_.inputs)
        packed[std::size_t(t)] = -1;
    for (const int t : graph_.outputs)
        packed[std::size_t(t)] = -1;
    for (std::size_t t = 0; t < graph_.tensors.size(); ++t) {
        if (packed[t] <= 0)
            continue;
        std::vector<float>& constant = graph_.tensors[t].constant;
        // Poisoned before it goes, so that a runtime that still read it would compute NaNs and
        // fail the tests rather than go on with numbers that happen to be still in memory.
        std::fill(constant.begin(), constant.end(), std::numeric_limits<float>::quiet_NaN());
        std::vector<float>().swap(constant);
    }
}

Result<void> XnnpackNetwork::bind() {
    std::vector<xnn_external_value> bindings;
    for (const Bound& b : ioBindings_)
        bindings.push_back({b.value, b.data});
    float* const base = alignedToLine(intermediates_->data());
    for (const Placed& p : placed_)
        bindings.push_back({p.value, base + p.offset});
    if (xnn_setup_runtime(runtime_, bindings.size(), bindings.data()) != xnn_status_success)
        return failure("XNNPACK could not bind the input, output and intermediate buffers");
    return {};
}

Result<void> XnnpackNetwork::shareIntermediatesWith(XnnpackNetwork& other) {
    auto shared = std::make_shared<std::vector<float>>(
        bufferFloats(std::max(plannedFloats_, other.plannedFloats_)), 0.0f);
    intermediates_ = shared;
    other.intermediates_ = shared;
    for (XnnpackNetwork* network : {this, &other}) {
        if (Result<void> bound = network->bind(); !bound)
            return failure(network->graph_.source + ": " + bound.error());
    }
    return {};
}

std::span<float> XnnpackNetwork::input(std::size_t index) {
    return std::span<float>(inputs_.at(index)).first(inputs_[index].size() - kSlackFloats);
}

std::span<const float> XnnpackNetwork::output(std::size_t index) const {
    return std::span<const float>(outputs_.at(index)).first(outputs_[index].size() - kSlackFloats);
}

Result<void> XnnpackNetwork::run() {
    if (xnn_invoke_runtime(runtime_) != xnn_status_success)
        return failure(graph_.source + ": XNNPACK failed to run the network");
    return {};
}

} // namespace palmcue::handpose
