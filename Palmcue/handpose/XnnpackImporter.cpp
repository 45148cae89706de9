// SPDX-License-Identifier: Apache-2.0
#include "handpose/XnnpackImporter.h"

#include "handpose/ModelError.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <xnnpack.h>

namespace palmcue::handpose {
namespace {

struct Bounds {
    float min, max;
};

Bounds clampOf(Activation activation) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    switch (activation) {
    case Activation::None:
        break;
    case Activation::Relu:
        return {0.0f, inf};
    case Activation::Relu6:
        return {0.0f, 6.0f};
    case Activation::ReluN1To1:
        return {-1.0f, 1.0f};
    }
    return {-inf, inf};
}

std::int64_t product(const std::vector<int>& shape, std::size_t from, std::size_t to) {
    std::int64_t n = 1;
    for (std::size_t i = from; i < to; ++i)
        n *= shape[i];
    return n;
}

class Importer {
public:
    Importer(const ModelGraph& graph, xnn_subgraph_t subgraph)
        : graph_(graph), subgraph_(subgraph), ids_(graph.tensors.size(), XNN_INVALID_VALUE_ID) {
        for (int input : graph.inputs)
            flags_[input] |= XNN_VALUE_FLAG_EXTERNAL_INPUT;
        for (int output : graph.outputs)
            flags_[output] |= XNN_VALUE_FLAG_EXTERNAL_OUTPUT;
    }

    void import() {
        findViews();
        // XNNPACK gives no memory to a value nobody reads, so an operator whose result is
        // never used must not be defined at all: walk back from the outputs.
        std::vector<bool> live(graph_.tensors.size(), false);
        for (int t : graph_.outputs)
            live[t] = true;
        std::vector<bool> needed(graph_.ops.size(), false);
        for (std::size_t i = graph_.ops.size(); i-- > 0;) {
            const GraphOp& op = graph_.ops[i];
            if (!live[op.outputs[0]])
                continue;
            needed[i] = true;
            for (int t : op.inputs)
                if (t >= 0)
                    live[t] = true;
        }
        std::vector<std::size_t> first(graph_.tensors.size(), SIZE_MAX);
        std::vector<std::size_t> last(graph_.tensors.size(), 0);
        for (std::size_t i = 0; i < graph_.ops.size(); ++i) {
            index_ = i;
            const GraphOp& op = graph_.ops[i];
            if (!needed[i] || viewed_[std::size_t(op.outputs[0])])
                continue;
            importOp(op);
            for (const auto* tensors : {&op.inputs, &op.outputs})
                for (int t : *tensors)
                    if (t >= 0) {
                        first[std::size_t(t)] = std::min(first[std::size_t(t)], i);
                        last[std::size_t(t)] = std::max(last[std::size_t(t)], i);
                    }
        }
        // Inputs that no operator reads still need a value for the runtime's bindings.
        for (int t : graph_.inputs)
            value(t);
        for (int t : graph_.outputs)
            if (!viewed_[std::size_t(t)])
                value(t);
        for (ImportedGraph::Intermediate& tensor : intermediates_) {
            tensor.life.first = first[std::size_t(tensor.tensor)];
            tensor.life.last = last[std::size_t(tensor.tensor)];
        }
    }

    ImportedGraph result() && {
        return {std::move(views_), std::move(viewed_), std::move(intermediates_)};
    }

private:
    // The palm model's outputs are concatenations of reshaped head convolutions. When the
    // pieces are contiguous in the output, each head writes its slice of the output buffer
    // directly: no reshape copies, no padded concatenation. Walking backwards lets a view pass
    // through a chain of reshapes.
    void findViews() {
        viewed_.assign(graph_.tensors.size(), false);
        std::vector<int> readers(graph_.tensors.size(), 0);
        for (const GraphOp& op : graph_.ops)
            for (int t : op.inputs)
                if (t >= 0)
                    ++readers[std::size_t(t)];
        std::vector<bool> boundary(graph_.tensors.size(), false);
        for (int t : graph_.inputs)
            boundary[std::size_t(t)] = true;
        for (int t : graph_.outputs)
            boundary[std::size_t(t)] = true;
        // Where each tensor lies inside an output buffer: output index and offset, or none.
        std::vector<std::pair<std::size_t, std::size_t>> place(graph_.tensors.size(),
                                                               {SIZE_MAX, 0});
        for (std::size_t k = 0; k < graph_.outputs.size(); ++k)
            place[std::size_t(graph_.outputs[k])] = {k, 0};
        auto viewable = [&](int t) {
            return t >= 0 && !boundary[std::size_t(t)] && readers[std::size_t(t)] == 1 &&
                   !graph_.tensors[std::size_t(t)].isConstant();
        };
        for (std::size_t i = graph_.ops.size(); i-- > 0;) {
            const GraphOp& op = graph_.ops[i];
            const int out = op.outputs[0];
            const auto [k, base] = place[std::size_t(out)];
            // An output that other operators also read must exist as a tensor of its own.
            if (k == SIZE_MAX || readers[std::size_t(out)] > (boundary[std::size_t(out)] ? 0 : 1))
                continue;
            const auto& shape = graph_.tensors[std::size_t(out)].shape;
            const bool reshape = op.kind == OpKind::Reshape && viewable(op.inputs[0]);
            const bool concat = op.kind == OpKind::Concatenation &&
                                product(shape, 0, std::size_t(op.axis)) == 1 &&
                                std::all_of(op.inputs.begin(), op.inputs.end(), viewable);
            if (!reshape && !concat)
                continue;
            std::size_t offset = base;
            for (int t : op.inputs) {
                place[std::size_t(t)] = {k, offset};
                offset += std::size_t(graph_.tensors[std::size_t(t)].elementCount());
            }
            viewed_[std::size_t(out)] = true;
        }
        for (std::size_t t = 0; t < graph_.tensors.size(); ++t) {
            if (place[t].first != SIZE_MAX && !viewed_[t] && !boundary[t]) {
                views_.push_back({int(t), place[t].first, place[t].second});
                flags_[int(t)] |= XNN_VALUE_FLAG_EXTERNAL_OUTPUT;
            }
        }
    }

    void check(xnn_status status, const char* what) const {
        if (status != xnn_status_success)
            throw ModelError("XNNPACK refused " + std::string(what) + " of operator " +
                             std::to_string(index_) + " (" + opKindName(graph_.ops[index_].kind) +
                             "), status " + std::to_string(int(status)));
    }

    std::uint32_t define(const std::vector<int>& shape, const float* data, std::uint32_t external,
                         std::uint32_t flags) {
        std::vector<std::size_t> dims(shape.begin(), shape.end());
        std::uint32_t id = XNN_INVALID_VALUE_ID;
        check(xnn_define_tensor_value(subgraph_, xnn_datatype_fp32, dims.size(), dims.data(), data,
                                      external, flags, &id),
              "a tensor");
        return id;
    }

    std::uint32_t value(int t) {
        if (t < 0)
            return XNN_INVALID_VALUE_ID;
        if (ids_[t] == XNN_INVALID_VALUE_ID) {
            const GraphTensor& tensor = graph_.tensors[t];
            auto flag = flags_.find(t);
            std::uint32_t flags = flag == flags_.end() ? 0 : flag->second;
            if (flags == 0 && !tensor.isConstant()) {
                // Bound to our buffer like an output, so that XNNPACK's planner leaves it alone.
                flags = XNN_VALUE_FLAG_EXTERNAL_OUTPUT;
                intermediates_.push_back({t, {std::size_t(tensor.elementCount()), 0, 0}});
            }
            ids_[t] = define(tensor.shape, tensor.isConstant() ? tensor.constant.data() : nullptr,
                             std::uint32_t(t), flags);
        }
        return ids_[t];
    }

    std::uint32_t internal(const std::vector<int>& shape) {
        return define(shape, nullptr, XNN_INVALID_VALUE_ID, 0);
    }

    void importOp(const GraphOp& op) {
        const auto bounds = clampOf(op.activation);
        const int out = op.outputs[0];
        const auto& in0 = graph_.tensors[op.inputs[0]].shape;
        switch (op.kind) {
        case OpKind::Conv2D: {
            const auto& filter = graph_.tensors[op.inputs[1]].shape;
            check(xnn_define_convolution_2d(
                      subgraph_, op.padTop, op.padRight, op.padBottom, op.padLeft, op.filterH,
                      op.filterW, op.strideH, op.strideW, op.dilationH, op.dilationW, 1,
                      std::size_t(in0[3]), std::size_t(filter[0]), bounds.min, bounds.max,
                      value(op.inputs[0]), value(op.inputs[1]), value(op.inputs[2]), value(out), 0),
                  "the node");
            break;
        }
        case OpKind::DepthwiseConv2D:
            check(xnn_define_depthwise_convolution_2d(
                      subgraph_, op.padTop, op.padRight, op.padBottom, op.padLeft, op.filterH,
                      op.filterW, op.strideH, op.strideW, op.dilationH, op.dilationW,
                      op.depthMultiplier, std::size_t(in0[3]), bounds.min, bounds.max,
                      value(op.inputs[0]), value(op.inputs[1]), value(op.inputs[2]), value(out), 0),
                  "the node");
            break;
        case OpKind::MaxPool2D:
            check(xnn_define_max_pooling_2d(subgraph_, op.padTop, op.padRight, op.padBottom,
                                            op.padLeft, op.filterH, op.filterW, op.strideH,
                                            op.strideW, 1, 1, bounds.min, bounds.max,
                                            value(op.inputs[0]), value(out), 0),
                  "the node");
            break;
        case OpKind::Add:
            check(xnn_define_add2(subgraph_, bounds.min, bounds.max, value(op.inputs[0]),
                                  value(op.inputs[1]), value(out), 0),
                  "the node");
            break;
        case OpKind::PRelu: {
            // XNNPACK wants the slope as a plain [channels] vector.
            const GraphTensor& slope = graph_.tensors[op.inputs[1]];
            const std::uint32_t slopeId =
                define({int(slope.elementCount())}, slope.constant.data(), XNN_INVALID_VALUE_ID, 0);
            check(xnn_define_prelu(subgraph_, value(op.inputs[0]), slopeId, value(out), 0),
                  "the node");
            break;
        }
        case OpKind::Pad: {
            std::vector<std::size_t> before(op.padBefore.begin(), op.padBefore.end());
            std::vector<std::size_t> after(op.padAfter.begin(), op.padAfter.end());
            check(xnn_define_static_constant_pad(subgraph_, before.data(), after.data(), 0.0f,
                                                 value(op.inputs[0]), value(out), 0),
                  "the node");
            break;
        }
        case OpKind::ResizeBilinear: {
            const auto& shape = graph_.tensors[out].shape;
            const std::uint32_t flags = op.alignCorners       ? XNN_FLAG_ALIGN_CORNERS
                                        : op.halfPixelCenters ? 0
                                                              : XNN_FLAG_TENSORFLOW_LEGACY_MODE;
            check(xnn_define_static_resize_bilinear_2d(subgraph_, shape[1], shape[2],
                                                       value(op.inputs[0]), value(out), flags),
                  "the node");
            break;
        }
        case OpKind::Reshape: {
            const auto& shape = graph_.tensors[out].shape;
            std::vector<std::size_t> dims(shape.begin(), shape.end());
            check(xnn_define_static_reshape(subgraph_, dims.size(), dims.data(),
                                            value(op.inputs[0]), value(out), 0),
                  "the node");
            break;
        }
        case OpKind::Concatenation:
            importConcatenation(op, bounds);
            break;
        case OpKind::Mean:
            check(xnn_define_global_average_pooling_2d(subgraph_, bounds.min, bounds.max,
                                                       value(op.inputs[0]), value(out), 0),
                  "the node");
            break;
        case OpKind::FullyConnected:
            check(xnn_define_fully_connected(subgraph_, bounds.min, bounds.max, value(op.inputs[0]),
                                             value(op.inputs[1]), value(op.inputs[2]), value(out),
                                             op.keepDims ? 0 : XNN_FLAG_TENSORFLOW_RESHAPE_2D),
                  "the node");
            break;
        case OpKind::Logistic:
            check(xnn_define_sigmoid(subgraph_, value(op.inputs[0]), value(out), 0), "the node");
            break;
        }
    }

    // This XNNPACK snapshot has no concatenation node. Each input is zero-padded to the full
    // output along the axis and the padded parts are summed: x + 0 is exact, and the tensors
    // concatenated in these models are the small detector heads.
    void importConcatenation(const GraphOp& op, Bounds bounds) {
        const auto& outShape = graph_.tensors[op.outputs[0]].shape;
        const std::size_t rank = outShape.size();
        std::uint32_t sum = XNN_INVALID_VALUE_ID;
        int offset = 0;
        for (std::size_t i = 0; i < op.inputs.size(); ++i) {
            const int size = graph_.tensors[op.inputs[i]].shape[op.axis];
            std::vector<std::size_t> before(rank, 0), after(rank, 0);
            before[op.axis] = std::size_t(offset);
            after[op.axis] = std::size_t(outShape[op.axis] - offset - size);
            offset += size;
            const bool last = i + 1 == op.inputs.size();
            const std::uint32_t padded = last && i == 0 ? value(op.outputs[0]) : internal(outShape);
            check(xnn_define_static_constant_pad(subgraph_, before.data(), after.data(), 0.0f,
                                                 value(op.inputs[i]), padded, 0),
                  "the padding");
            if (i == 0) {
                sum = padded;
                continue;
            }
            const std::uint32_t total = last ? value(op.outputs[0]) : internal(outShape);
            check(xnn_define_add2(subgraph_, last ? bounds.min : -INFINITY,
                                  last ? bounds.max : INFINITY, sum, padded, total, 0),
                  "the sum");
            sum = total;
        }
    }

    const ModelGraph& graph_;
    xnn_subgraph_t subgraph_;
    std::vector<std::uint32_t> ids_;
    std::map<int, std::uint32_t> flags_;
    std::vector<bool> viewed_; // produced in place by its views: never defined
    std::vector<ImportedGraph::View> views_;
    std::vector<ImportedGraph::Intermediate> intermediates_;
    std::size_t index_ = 0;
};

} // namespace

ImportedGraph importGraph(const ModelGraph& graph, xnn_subgraph* subgraph) {
    Importer importer(graph, subgraph);
    importer.import();
    return std::move(importer).result();
}

} // namespace palmcue::handpose
