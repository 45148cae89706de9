// SPDX-License-Identifier: Apache-2.0
#include "handpose/TfliteReader.h"

#include "handpose/FlatBufferView.h"
#include "handpose/tflite/OperatorFamilies.h"
#include "handpose/tflite/Schema.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace palmcue::handpose {
namespace {

using namespace tflite;

// All activations together; the hand models need 6 M (landmark) and 12 M (palm) floats.
constexpr std::int64_t kMaxActivationElements = 1 << 27;

// Walks the model: header, operator codes, the one subgraph's tensors, inputs and outputs, then
// each operator through the reader of its family.
class Builder {
public:
    Builder(const FlatBufferView& fb) : fb_(fb) {}

    ModelGraph build() {
        ModelGraph& graph = state_.graph;
        const auto subgraph = readHeader();
        readTensors(fb_, subgraph, buffers_, graph.tensors, state_.raw);
        graph.inputs = indexList(subgraph, SubgraphField::Inputs, "subgraph inputs");
        graph.outputs = indexList(subgraph, SubgraphField::Outputs, "subgraph outputs");
        if (graph.inputs.empty() || graph.outputs.empty())
            throw ModelError("the subgraph has no inputs or no outputs");
        state_.defined.assign(graph.tensors.size(), false);
        for (int input : graph.inputs) {
            requireActivation(input, "subgraph input");
            state_.defined[input] = true;
        }
        for (std::size_t i = 0; i < graph.tensors.size(); ++i)
            if (graph.tensors[i].isConstant() || graph.tensors[i].isIntegral)
                state_.defined[i] = true;
        const auto operators = fb_.vector(subgraph, SubgraphField::Operators, 4);
        for (std::uint32_t i = 0; i < operators.length; ++i)
            readOperator(i, fb_.tableElement(operators, i));
        for (int output : graph.outputs)
            if (!state_.defined[output] || graph.tensors[output].isConstant() ||
                std::find(graph.inputs.begin(), graph.inputs.end(), output) != graph.inputs.end())
                throw ModelError("subgraph output " + state_.tensorText(output) +
                                 " is not computed by any operator");
        return std::move(graph);
    }

private:
    // Checks the identifier and version, reads the operator codes and buffers; returns the
    // subgraph.
    FlatBufferView::Table readHeader() {
        if (fb_.data().size() < 8 || std::memcmp(fb_.data().data() + 4, "TFL3", 4) != 0)
            throw ModelError("not a TFLite model (no TFL3 identifier)");
        const auto model = fb_.root();
        const auto version = fb_.scalar<std::uint32_t>(model, ModelField::Version, 0);
        if (version != 3)
            throw ModelError("unsupported schema version " + std::to_string(version));
        readOpCodes(model);
        const auto subgraphs = fb_.vector(model, ModelField::Subgraphs, 4);
        if (subgraphs.length != 1)
            throw ModelError("expected one subgraph, found " + std::to_string(subgraphs.length));
        buffers_ = fb_.vector(model, ModelField::Buffers, 4);
        return fb_.tableElement(subgraphs, 0);
    }

    void readOpCodes(const FlatBufferView::Table& model) {
        const auto codes = fb_.vector(model, ModelField::OperatorCodes, 4);
        for (std::uint32_t i = 0; i < codes.length; ++i) {
            const auto code = fb_.tableElement(codes, i);
            const std::int32_t deprecated =
                fb_.scalar<std::int8_t>(code, OpCodeField::DeprecatedBuiltinCode, 0);
            const std::int32_t builtin =
                fb_.scalar<std::int32_t>(code, OpCodeField::BuiltinCode, 0);
            // Files written before the int32 field only set the byte; newer ones set both, with
            // the byte saturated at 127 for codes that do not fit.
            std::int32_t effective = std::max(deprecated, builtin);
            if (effective == kCustom)
                throw ModelError("custom operator '" + fb_.string(code, OpCodeField::CustomCode) +
                                 "' is not supported");
            opCodes_.push_back(effective);
        }
    }

    std::vector<int> indexList(const FlatBufferView::Table& table, int field, const char* what,
                               bool allowAbsent = false) const {
        const auto vector = fb_.vector(table, field, 4);
        const std::size_t tensors = state_.graph.tensors.size();
        std::vector<int> list;
        list.reserve(vector.length);
        for (std::uint32_t i = 0; i < vector.length; ++i) {
            const std::int32_t index = fb_.element<std::int32_t>(vector, i);
            if (index == -1 && allowAbsent) {
                list.push_back(-1);
                continue;
            }
            if (index < 0 || std::size_t(index) >= tensors)
                throw ModelError(std::string(what) + " refer to tensor " + std::to_string(index) +
                                 " of " + std::to_string(tensors));
            list.push_back(index);
        }
        return list;
    }

    void requireActivation(int index, const std::string& role) const {
        const GraphTensor& tensor = state_.graph.tensors[index];
        if (state_.raw[index].type != Float32 || tensor.isConstant() || tensor.shape.empty())
            throw ModelError(role + " " + state_.tensorText(index) +
                             " must be a float32 activation");
    }

    void readOperator(std::uint32_t index, const FlatBufferView::Table& table) {
        const auto opcodeIndex = fb_.scalar<std::uint32_t>(table, OperatorField::OpcodeIndex, 0);
        if (opcodeIndex >= opCodes_.size())
            throw ModelError("operator " + std::to_string(index) + " uses opcode " +
                             std::to_string(opcodeIndex) + " of " +
                             std::to_string(opCodes_.size()));
        const std::int32_t code = opCodes_[opcodeIndex];
        auto inputs = indexList(table, OperatorField::Inputs, "operator inputs", true);
        GraphOp op;
        op.outputs = indexList(table, OperatorField::Outputs, "operator outputs");
        OperatorReader::Options options;
        options.type = fb_.scalar<std::uint8_t>(table, OperatorField::OptionsType, 0);
        options.present = fb_.table(table, OperatorField::Options, options.table);
        OperatorReader reader(fb_, state_, index, code, std::move(inputs), options);
        if (op.outputs.size() != 1)
            reader.fail("expected one output, found " + std::to_string(op.outputs.size()));
        const int out = op.outputs[0];
        if (code == kDequantize) {
            readDequantize(reader, out);
            return;
        }

        // Every other operator: float activations in, one float activation out.
        const std::vector<int> expected = readFamily(code, reader, op);
        if (state_.defined[out] || state_.raw[out].type != Float32)
            reader.fail("output " + state_.tensorText(out) + " is a constant or computed twice");
        if (reader.shapeOf(out) != expected)
            reader.fail("output " + state_.tensorText(out) + " should have shape " +
                        shapeText(expected));
        state_.defined[out] = true;
        state_.activationElements += state_.graph.tensors[out].elementCount();
        if (state_.activationElements > kMaxActivationElements)
            reader.fail("the activations need more memory than any hand model does");
        state_.graph.ops.push_back(std::move(op));
    }

    // Fills `op` and returns the shape its output must have.
    static std::vector<int> readFamily(std::int32_t code, OperatorReader& reader, GraphOp& op) {
        switch (code) {
        case kConv2D:
            return readConvolution(reader, op, false);
        case kDepthwiseConv2D:
            return readConvolution(reader, op, true);
        case kMaxPool2D:
            return readMaxPool(reader, op);
        case kAdd:
            return readAdd(reader, op);
        case kPrelu:
            return readPrelu(reader, op);
        case kLogistic:
            return readLogistic(reader, op);
        case kPad:
            return readPad(reader, op);
        case kResizeBilinear:
            return readResizeBilinear(reader, op);
        case kReshape:
            return readReshape(reader, op);
        case kConcatenation:
            return readConcatenation(reader, op);
        case kMean:
            return readMean(reader, op);
        case kFullyConnected:
            return readFullyConnected(reader, op);
        default:
            reader.fail("operator is not supported by this importer");
        }
    }

    const FlatBufferView& fb_;
    GraphState state_;
    std::vector<std::int32_t> opCodes_;
    FlatBufferView::Vector buffers_;
};

} // namespace

Result<ModelGraph> TfliteReader::read(std::span<const std::uint8_t> bytes,
                                      const std::string& name) {
    try {
        FlatBufferView view(bytes);
        ModelGraph graph = Builder(view).build();
        graph.source = name;
        return graph;
    } catch (const ModelError& e) {
        return failure(name + ": " + e.what());
    } catch (const std::bad_alloc&) {
        return failure(name + ": out of memory while reading the model");
    }
}

Result<ModelGraph> TfliteReader::readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return failure(path + ": cannot open the model file");
    const std::streamoff size = file.tellg();
    if (size < 0 || std::uint64_t(size) > kMaxFileSize)
        return failure(path + ": the model file is too large or unreadable");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size))
        return failure(path + ": cannot read the model file");
    return read(bytes, path);
}

} // namespace palmcue::handpose
