#include "handpose/TfliteReader.h"

#include "handpose/FlatBufferView.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>

namespace palmcue::handpose {
namespace {

// Schema field indices (tensorflow/lite/schema/schema.fbs). A union takes two slots: the
// type byte and the table.
namespace ModelField {
constexpr int Version = 0, OperatorCodes = 1, Subgraphs = 2, Buffers = 4;
}
namespace OpCodeField {
constexpr int DeprecatedBuiltinCode = 0, CustomCode = 1, BuiltinCode = 3;
}
namespace SubgraphField {
constexpr int Tensors = 0, Inputs = 1, Outputs = 2, Operators = 3;
}
namespace TensorField {
constexpr int Shape = 0, Type = 1, Buffer = 2, Name = 3, Sparsity = 6;
}
namespace BufferField {
constexpr int Data = 0, Offset = 1, Size = 2;
}
namespace OperatorField {
constexpr int OpcodeIndex = 0, Inputs = 1, Outputs = 2, OptionsType = 3, Options = 4;
}

enum TensorType : std::int8_t { Float32 = 0, Float16 = 1, Int32 = 2 };

enum Builtin : std::int32_t {
    kAdd = 0,
    kConcatenation = 2,
    kConv2D = 3,
    kDepthwiseConv2D = 4,
    kDequantize = 6,
    kFullyConnected = 9,
    kLogistic = 14,
    kMaxPool2D = 17,
    kReshape = 22,
    kResizeBilinear = 23,
    kPad = 34,
    kMean = 40,
    kPrelu = 54,
};

// BuiltinOptions union tags of the option tables read here.
enum OptionsTag : std::uint8_t {
    kConv2DOptions = 1,
    kDepthwiseConv2DOptions = 2,
    kPool2DOptions = 5,
    kFullyConnectedOptions = 8,
    kConcatenationOptions = 10,
    kAddOptions = 11,
    kResizeBilinearOptions = 15,
    kReshapeOptions = 17,
    kPadOptions = 22,
    kReducerOptions = 27,
};

constexpr int kMaxRank = 6;
constexpr std::int64_t kMaxElements = 1 << 26;
constexpr int kMaxWindow = 64;
// All activations together; the hand models need 6 M (landmark) and 12 M (palm) floats.
constexpr std::int64_t kMaxActivationElements = 1 << 27;

const char* builtinName(std::int32_t code) {
    static constexpr std::array<const char*, 60> names = {"ADD",
                                                          "AVERAGE_POOL_2D",
                                                          "CONCATENATION",
                                                          "CONV_2D",
                                                          "DEPTHWISE_CONV_2D",
                                                          "DEPTH_TO_SPACE",
                                                          "DEQUANTIZE",
                                                          "EMBEDDING_LOOKUP",
                                                          "FLOOR",
                                                          "FULLY_CONNECTED",
                                                          "HASHTABLE_LOOKUP",
                                                          "L2_NORMALIZATION",
                                                          "L2_POOL_2D",
                                                          "LOCAL_RESPONSE_NORMALIZATION",
                                                          "LOGISTIC",
                                                          "LSH_PROJECTION",
                                                          "LSTM",
                                                          "MAX_POOL_2D",
                                                          "MUL",
                                                          "RELU",
                                                          "RELU_N1_TO_1",
                                                          "RELU6",
                                                          "RESHAPE",
                                                          "RESIZE_BILINEAR",
                                                          "RNN",
                                                          "SOFTMAX",
                                                          "SPACE_TO_DEPTH",
                                                          "SVDF",
                                                          "TANH",
                                                          "CONCAT_EMBEDDINGS",
                                                          "SKIP_GRAM",
                                                          "CALL",
                                                          "CUSTOM",
                                                          "EMBEDDING_LOOKUP_SPARSE",
                                                          "PAD",
                                                          "UNIDIRECTIONAL_SEQUENCE_RNN",
                                                          "GATHER",
                                                          "BATCH_TO_SPACE_ND",
                                                          "SPACE_TO_BATCH_ND",
                                                          "TRANSPOSE",
                                                          "MEAN",
                                                          "SUB",
                                                          "DIV",
                                                          "SQUEEZE",
                                                          "UNIDIRECTIONAL_SEQUENCE_LSTM",
                                                          "STRIDED_SLICE",
                                                          "BIDIRECTIONAL_SEQUENCE_RNN",
                                                          "EXP",
                                                          "TOPK_V2",
                                                          "SPLIT",
                                                          "LOG_SOFTMAX",
                                                          "DELEGATE",
                                                          "BIDIRECTIONAL_SEQUENCE_LSTM",
                                                          "CAST",
                                                          "PRELU",
                                                          "MAXIMUM",
                                                          "ARG_MAX",
                                                          "MINIMUM",
                                                          "LESS",
                                                          "NEG"};
    if (code >= 0 && code < std::int32_t(names.size()))
        return names[code];
    return nullptr;
}

std::string opText(std::int32_t code) {
    const char* name = builtinName(code);
    return name ? std::string(name) : "builtin operator " + std::to_string(code);
}

std::string shapeText(const std::vector<int>& shape) {
    std::string text = "[";
    for (std::size_t i = 0; i < shape.size(); ++i)
        text += (i ? "," : "") + std::to_string(shape[i]);
    return text + "]";
}

struct RawTensor {
    std::int8_t type = Float32;
    std::span<const std::uint8_t> data;
};

class Builder {
public:
    Builder(const FlatBufferView& fb) : fb_(fb) {}

    ModelGraph build() {
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
        const auto subgraph = fb_.tableElement(subgraphs, 0);
        readTensors(subgraph);
        graph_.inputs = indexList(subgraph, SubgraphField::Inputs, "subgraph inputs");
        graph_.outputs = indexList(subgraph, SubgraphField::Outputs, "subgraph outputs");
        if (graph_.inputs.empty() || graph_.outputs.empty())
            throw ModelError("the subgraph has no inputs or no outputs");
        defined_.assign(graph_.tensors.size(), false);
        for (int input : graph_.inputs) {
            requireActivation(input, "subgraph input");
            defined_[input] = true;
        }
        for (std::size_t i = 0; i < graph_.tensors.size(); ++i)
            if (graph_.tensors[i].isConstant() || graph_.tensors[i].isIntegral)
                defined_[i] = true;
        const auto operators = fb_.vector(subgraph, SubgraphField::Operators, 4);
        for (std::uint32_t i = 0; i < operators.length; ++i)
            readOperator(i, fb_.tableElement(operators, i));
        for (int output : graph_.outputs)
            if (!defined_[output] || graph_.tensors[output].isConstant() ||
                std::find(graph_.inputs.begin(), graph_.inputs.end(), output) !=
                    graph_.inputs.end())
                throw ModelError("subgraph output " + tensorText(output) +
                                 " is not computed by any operator");
        return std::move(graph_);
    }

private:
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
            if (effective == 32 /* CUSTOM */)
                throw ModelError("custom operator '" + fb_.string(code, OpCodeField::CustomCode) +
                                 "' is not supported");
            opCodes_.push_back(effective);
        }
    }

    std::vector<int> indexList(const FlatBufferView::Table& table, int field, const char* what,
                               bool allowAbsent = false) {
        const auto vector = fb_.vector(table, field, 4);
        std::vector<int> list;
        list.reserve(vector.length);
        for (std::uint32_t i = 0; i < vector.length; ++i) {
            const std::int32_t index = fb_.element<std::int32_t>(vector, i);
            if (index == -1 && allowAbsent) {
                list.push_back(-1);
                continue;
            }
            if (index < 0 || std::size_t(index) >= graph_.tensors.size())
                throw ModelError(std::string(what) + " refer to tensor " + std::to_string(index) +
                                 " of " + std::to_string(graph_.tensors.size()));
            list.push_back(index);
        }
        return list;
    }

    std::span<const std::uint8_t> bufferData(std::uint32_t index, const std::string& tensor) {
        if (index >= buffers_.length)
            throw ModelError("tensor " + tensor + " refers to buffer " + std::to_string(index) +
                             " of " + std::to_string(buffers_.length));
        const auto buffer = fb_.tableElement(buffers_, index);
        const auto offset = fb_.scalar<std::uint64_t>(buffer, BufferField::Offset, 0);
        if (offset > 1) {
            const auto size = fb_.scalar<std::uint64_t>(buffer, BufferField::Size, 0);
            const auto all = fb_.data();
            if (offset > all.size() || size > all.size() - offset)
                throw ModelError("buffer " + std::to_string(index) + " lies outside the file");
            return all.subspan(offset, size);
        }
        return fb_.bytes(fb_.vector(buffer, BufferField::Data, 1));
    }

    void readTensors(const FlatBufferView::Table& subgraph) {
        const auto tensors = fb_.vector(subgraph, SubgraphField::Tensors, 4);
        graph_.tensors.resize(tensors.length);
        raw_.resize(tensors.length);
        for (std::uint32_t i = 0; i < tensors.length; ++i) {
            const auto table = fb_.tableElement(tensors, i);
            GraphTensor& tensor = graph_.tensors[i];
            tensor.name = fb_.string(table, TensorField::Name);
            const std::string label = "#" + std::to_string(i) + " '" + tensor.name + "'";
            const auto shape = fb_.vector(table, TensorField::Shape, 4);
            if (shape.length > kMaxRank)
                throw ModelError("tensor " + label + " has rank " + std::to_string(shape.length));
            std::int64_t count = 1;
            for (std::uint32_t d = 0; d < shape.length; ++d) {
                const std::int32_t dim = fb_.element<std::int32_t>(shape, d);
                if (dim < 1 || dim > kMaxElements)
                    throw ModelError("tensor " + label + " has dimension " + std::to_string(dim));
                count *= dim;
                if (count > kMaxElements)
                    throw ModelError("tensor " + label + " is too large");
                tensor.shape.push_back(dim);
            }
            if (fb_.has(table, TensorField::Sparsity))
                throw ModelError("tensor " + label + " is sparse, which is not supported");
            RawTensor& raw = raw_[i];
            raw.type = fb_.scalar<std::int8_t>(table, TensorField::Type, Float32);
            raw.data = bufferData(fb_.scalar<std::uint32_t>(table, TensorField::Buffer, 0), label);
            const std::size_t elementSize = raw.type == Float32   ? 4
                                            : raw.type == Float16 ? 2
                                            : raw.type == Int32   ? 4
                                                                  : 0;
            if (elementSize == 0)
                throw ModelError("tensor " + label + " has unsupported type " +
                                 std::to_string(raw.type) +
                                 " (only float32, float16 and int32 are supported)");
            if (raw.data.empty())
                continue;
            if (raw.data.size() != std::size_t(count) * elementSize)
                throw ModelError("tensor " + label + " of shape " + shapeText(tensor.shape) +
                                 " has " + std::to_string(raw.data.size()) +
                                 " bytes of data, expected " + std::to_string(count * elementSize));
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
    }

    std::string tensorText(int index) const {
        return "#" + std::to_string(index) + " '" + graph_.tensors[index].name + "' " +
               shapeText(graph_.tensors[index].shape);
    }

    void requireActivation(int index, const std::string& role) const {
        const GraphTensor& tensor = graph_.tensors[index];
        if (raw_[index].type != Float32 || tensor.isConstant() || tensor.shape.empty())
            throw ModelError(role + " " + tensorText(index) + " must be a float32 activation");
    }

    static float halfToFloat(std::uint16_t h) {
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

    struct OpContext {
        std::uint32_t index;
        std::string name;
        [[noreturn]] void fail(const std::string& fault) const {
            throw ModelError("operator " + std::to_string(index) + " (" + name + "): " + fault);
        }
    };

    void readOperator(std::uint32_t index, const FlatBufferView::Table& table) {
        const auto opcodeIndex = fb_.scalar<std::uint32_t>(table, OperatorField::OpcodeIndex, 0);
        if (opcodeIndex >= opCodes_.size())
            throw ModelError("operator " + std::to_string(index) + " uses opcode " +
                             std::to_string(opcodeIndex) + " of " +
                             std::to_string(opCodes_.size()));
        const std::int32_t code = opCodes_[opcodeIndex];
        const OpContext ctx{index, opText(code)};
        GraphOp op;
        const auto inputs = indexList(table, OperatorField::Inputs, "operator inputs", true);
        op.outputs = indexList(table, OperatorField::Outputs, "operator outputs");
        const auto optionsType = fb_.scalar<std::uint8_t>(table, OperatorField::OptionsType, 0);
        FlatBufferView::Table options;
        const bool hasOptions = fb_.table(table, OperatorField::Options, options);
        auto requireOptions = [&](std::uint8_t tag) {
            if (!hasOptions)
                ctx.fail("options are missing");
            if (optionsType != tag)
                ctx.fail("options have type " + std::to_string(optionsType) + ", expected " +
                         std::to_string(tag));
        };
        auto optionalOptions = [&](std::uint8_t tag) {
            if (hasOptions && optionsType != tag)
                ctx.fail("options have type " + std::to_string(optionsType) + ", expected " +
                         std::to_string(tag));
            return hasOptions;
        };
        if (op.outputs.size() != 1)
            ctx.fail("expected one output, found " + std::to_string(op.outputs.size()));
        const int out = op.outputs[0];

        if (code == kDequantize) {
            if (inputs.size() != 1 || inputs[0] < 0)
                ctx.fail("expected one input");
            const int in = inputs[0];
            if (raw_[in].type != Float16 || raw_[in].data.empty())
                ctx.fail("only float16 constants can be dequantized, got " + tensorText(in));
            if (raw_[out].type != Float32 ||
                graph_.tensors[out].shape != graph_.tensors[in].shape || defined_[out])
                ctx.fail("output " + tensorText(out) + " does not match input " + tensorText(in));
            auto& constant = graph_.tensors[out].constant;
            constant.resize(graph_.tensors[in].elementCount());
            for (std::size_t i = 0; i < constant.size(); ++i) {
                std::uint16_t h;
                std::memcpy(&h, raw_[in].data.data() + 2 * i, 2);
                constant[i] = halfToFloat(h);
                if (!std::isfinite(constant[i]))
                    ctx.fail("tensor " + tensorText(in) + " holds a non-finite weight");
            }
            defined_[out] = true;
            return;
        }

        // Every other operator: float activations in, one float activation out.
        auto activation = [&](std::int8_t value) {
            switch (value) {
            case 0:
                return Activation::None;
            case 1:
                return Activation::Relu;
            case 2:
                return Activation::ReluN1To1;
            case 3:
                return Activation::Relu6;
            default:
                ctx.fail("unsupported fused activation " + std::to_string(value));
            }
        };
        auto shapeOf = [&](int t) -> const std::vector<int>& { return graph_.tensors[t].shape; };
        auto input = [&](std::size_t i) {
            if (i >= inputs.size() || inputs[i] < 0)
                ctx.fail("input " + std::to_string(i) + " is missing");
            return inputs[i];
        };
        auto requireCount = [&](std::size_t minimum, std::size_t maximum) {
            if (inputs.size() < minimum || inputs.size() > maximum)
                ctx.fail("has " + std::to_string(inputs.size()) + " inputs");
        };
        auto requireConstant = [&](int t, const char* role) {
            if (!graph_.tensors[t].isConstant())
                ctx.fail(std::string(role) + " " + tensorText(t) + " must be constant");
        };
        auto requireValue = [&](int t, const char* role) {
            if (!defined_[t])
                ctx.fail(std::string(role) + " " + tensorText(t) +
                         " is read before it is computed");
            if (raw_[t].type != Float32 || graph_.tensors[t].shape.empty())
                ctx.fail(std::string(role) + " " + tensorText(t) + " is not a float32 tensor");
        };
        auto requireRank = [&](int t, std::size_t rank, const char* role) {
            if (shapeOf(t).size() != rank)
                ctx.fail(std::string(role) + " " + tensorText(t) + " must have rank " +
                         std::to_string(rank));
        };
        auto intConstant = [&](int t, const char* role) -> const std::vector<std::int32_t>& {
            if (!graph_.tensors[t].isIntegral)
                ctx.fail(std::string(role) + " " + tensorText(t) + " must be an int32 constant");
            return graph_.tensors[t].intConstant;
        };
        auto window = [&](int padding, int in, int kernel, int stride, int dilation, int& before,
                          int& after) {
            if (stride < 1 || stride > kMaxWindow || dilation < 1 || dilation > kMaxWindow ||
                kernel < 1 || kernel > kMaxWindow)
                ctx.fail("bad stride, dilation or window size");
            const int effective = (kernel - 1) * dilation + 1;
            int outSize;
            if (padding == 0) { // SAME
                outSize = (in + stride - 1) / stride;
                const int total = std::max((outSize - 1) * stride + effective - in, 0);
                before = total / 2;
                after = total - before;
            } else if (padding == 1) { // VALID
                if (in < effective)
                    ctx.fail("window larger than its input");
                outSize = (in - effective) / stride + 1;
                before = after = 0;
            } else {
                ctx.fail("unknown padding " + std::to_string(padding));
            }
            return outSize;
        };

        std::vector<int> expected;
        switch (code) {
        case kConv2D:
        case kDepthwiseConv2D: {
            const bool depthwise = code == kDepthwiseConv2D;
            op.kind = depthwise ? OpKind::DepthwiseConv2D : OpKind::Conv2D;
            requireOptions(depthwise ? kDepthwiseConv2DOptions : kConv2DOptions);
            requireCount(2, 3);
            const int x = input(0), filter = input(1);
            requireValue(x, "input");
            requireRank(x, 4, "input");
            requireConstant(filter, "filter");
            requireRank(filter, 4, "filter");
            const auto& xs = shapeOf(x);
            const auto& fs = shapeOf(filter);
            int outChannels;
            if (depthwise) {
                if (fs[0] != 1 || fs[3] % xs[3] != 0)
                    ctx.fail("filter " + tensorText(filter) + " does not fit input " +
                             tensorText(x));
                op.depthMultiplier = fs[3] / xs[3];
                outChannels = fs[3];
            } else {
                if (fs[3] != xs[3])
                    ctx.fail("filter " + tensorText(filter) + " does not fit input " +
                             tensorText(x));
                outChannels = fs[0];
            }
            if (inputs.size() == 3 && inputs[2] >= 0) {
                requireConstant(inputs[2], "bias");
                if (graph_.tensors[inputs[2]].elementCount() != outChannels)
                    ctx.fail("bias " + tensorText(inputs[2]) + " does not fit the filter");
            }
            const int padding = fb_.scalar<std::int8_t>(options, 0, 0);
            op.strideW = fb_.scalar<std::int32_t>(options, 1, 1);
            op.strideH = fb_.scalar<std::int32_t>(options, 2, 1);
            op.activation = activation(fb_.scalar<std::int8_t>(options, depthwise ? 4 : 3, 0));
            op.dilationW = fb_.scalar<std::int32_t>(options, depthwise ? 5 : 4, 1);
            op.dilationH = fb_.scalar<std::int32_t>(options, depthwise ? 6 : 5, 1);
            op.filterH = fs[1];
            op.filterW = fs[2];
            const int oh =
                window(padding, xs[1], fs[1], op.strideH, op.dilationH, op.padTop, op.padBottom);
            const int ow =
                window(padding, xs[2], fs[2], op.strideW, op.dilationW, op.padLeft, op.padRight);
            expected = {xs[0], oh, ow, outChannels};
            op.inputs = {x, filter, inputs.size() == 3 ? inputs[2] : -1};
            break;
        }
        case kMaxPool2D: {
            op.kind = OpKind::MaxPool2D;
            requireOptions(kPool2DOptions);
            requireCount(1, 1);
            const int x = input(0);
            requireValue(x, "input");
            requireRank(x, 4, "input");
            const auto& xs = shapeOf(x);
            const int padding = fb_.scalar<std::int8_t>(options, 0, 0);
            op.strideW = fb_.scalar<std::int32_t>(options, 1, 1);
            op.strideH = fb_.scalar<std::int32_t>(options, 2, 1);
            op.filterW = fb_.scalar<std::int32_t>(options, 3, 1);
            op.filterH = fb_.scalar<std::int32_t>(options, 4, 1);
            op.activation = activation(fb_.scalar<std::int8_t>(options, 5, 0));
            const int oh =
                window(padding, xs[1], op.filterH, op.strideH, 1, op.padTop, op.padBottom);
            const int ow =
                window(padding, xs[2], op.filterW, op.strideW, 1, op.padLeft, op.padRight);
            expected = {xs[0], oh, ow, xs[3]};
            op.inputs = {x};
            break;
        }
        case kAdd: {
            op.kind = OpKind::Add;
            if (optionalOptions(kAddOptions))
                op.activation = activation(fb_.scalar<std::int8_t>(options, 0, 0));
            requireCount(2, 2);
            const int a = input(0), b = input(1);
            for (int t : {a, b})
                if (!graph_.tensors[t].isConstant())
                    requireValue(t, "input");
            // Numpy-style broadcasting from the right.
            const auto& as = shapeOf(a);
            const auto& bs = shapeOf(b);
            const std::size_t rank = std::max(as.size(), bs.size());
            expected.assign(rank, 1);
            for (std::size_t i = 0; i < rank; ++i) {
                const int da = i < as.size() ? as[as.size() - 1 - i] : 1;
                const int db = i < bs.size() ? bs[bs.size() - 1 - i] : 1;
                if (da != db && da != 1 && db != 1)
                    ctx.fail("inputs " + tensorText(a) + " and " + tensorText(b) +
                             " do not broadcast");
                expected[rank - 1 - i] = std::max(da, db);
            }
            op.inputs = {a, b};
            break;
        }
        case kPrelu: {
            op.kind = OpKind::PRelu;
            requireCount(2, 2);
            const int x = input(0), slope = input(1);
            requireValue(x, "input");
            requireRank(x, 4, "input");
            requireConstant(slope, "slope");
            const auto& ss = shapeOf(slope);
            for (std::size_t i = 0; i + 1 < ss.size(); ++i)
                if (ss[i] != 1)
                    ctx.fail("slope " + tensorText(slope) + " is not per channel");
            if (ss.empty() || ss.back() != shapeOf(x)[3])
                ctx.fail("slope " + tensorText(slope) + " does not fit input " + tensorText(x));
            expected = shapeOf(x);
            op.inputs = {x, slope};
            break;
        }
        case kPad: {
            op.kind = OpKind::Pad;
            optionalOptions(kPadOptions);
            requireCount(2, 2);
            const int x = input(0);
            requireValue(x, "input");
            const auto& paddings = intConstant(input(1), "paddings");
            const auto& xs = shapeOf(x);
            if (paddings.size() != xs.size() * 2)
                ctx.fail("paddings do not fit input " + tensorText(x));
            for (std::size_t d = 0; d < xs.size(); ++d) {
                const std::int32_t before = paddings[2 * d], after = paddings[2 * d + 1];
                if (before < 0 || after < 0 || before > kMaxElements || after > kMaxElements)
                    ctx.fail("bad padding " + std::to_string(before) + "," + std::to_string(after));
                op.padBefore.push_back(before);
                op.padAfter.push_back(after);
                expected.push_back(xs[d] + before + after);
            }
            op.inputs = {x};
            break;
        }
        case kResizeBilinear: {
            op.kind = OpKind::ResizeBilinear;
            requireOptions(kResizeBilinearOptions);
            requireCount(2, 2);
            const int x = input(0);
            requireValue(x, "input");
            requireRank(x, 4, "input");
            const auto& size = intConstant(input(1), "size");
            if (size.size() != 2 || size[0] < 1 || size[1] < 1 || size[0] > kMaxElements ||
                size[1] > kMaxElements)
                ctx.fail("bad output size");
            op.alignCorners = fb_.scalar<std::uint8_t>(options, 2, 0) != 0;
            op.halfPixelCenters = fb_.scalar<std::uint8_t>(options, 3, 0) != 0;
            if (op.alignCorners && op.halfPixelCenters)
                ctx.fail("align_corners and half_pixel_centers are both set");
            const auto& xs = shapeOf(x);
            expected = {xs[0], size[0], size[1], xs[3]};
            op.inputs = {x};
            break;
        }
        case kReshape: {
            op.kind = OpKind::Reshape;
            optionalOptions(kReshapeOptions);
            requireCount(1, 2);
            const int x = input(0);
            requireValue(x, "input");
            if (graph_.tensors[x].elementCount() != graph_.tensors[out].elementCount())
                ctx.fail("output " + tensorText(out) + " does not hold the elements of " +
                         tensorText(x));
            expected = shapeOf(out);
            op.inputs = {x};
            break;
        }
        case kConcatenation: {
            op.kind = OpKind::Concatenation;
            requireOptions(kConcatenationOptions);
            if (inputs.empty())
                ctx.fail("has no inputs");
            for (std::size_t i = 0; i < inputs.size(); ++i)
                requireValue(input(i), "input");
            const auto& first = shapeOf(inputs[0]);
            const int rank = int(first.size());
            int axis = fb_.scalar<std::int32_t>(options, 0, 0);
            if (axis < 0)
                axis += rank;
            if (axis < 0 || axis >= rank)
                ctx.fail("axis out of range");
            op.axis = axis;
            op.activation = activation(fb_.scalar<std::int8_t>(options, 1, 0));
            expected = first;
            expected[axis] = 0;
            for (int t : inputs) {
                const auto& s = shapeOf(t);
                if (int(s.size()) != rank)
                    ctx.fail("inputs differ in rank");
                for (int d = 0; d < rank; ++d)
                    if (d != axis && s[d] != first[d])
                        ctx.fail("input " + tensorText(t) + " does not fit " +
                                 tensorText(inputs[0]));
                expected[axis] += s[axis];
            }
            op.inputs = inputs;
            break;
        }
        case kMean: {
            op.kind = OpKind::Mean;
            requireCount(2, 2);
            const int x = input(0);
            requireValue(x, "input");
            requireRank(x, 4, "input");
            auto axes = intConstant(input(1), "axes");
            std::sort(axes.begin(), axes.end());
            if (axes != std::vector<std::int32_t>{1, 2})
                ctx.fail("only the mean over height and width is supported");
            if (optionalOptions(kReducerOptions))
                op.keepDims = fb_.scalar<std::uint8_t>(options, 0, 0) != 0;
            const auto& xs = shapeOf(x);
            expected =
                op.keepDims ? std::vector<int>{xs[0], 1, 1, xs[3]} : std::vector<int>{xs[0], xs[3]};
            op.inputs = {x};
            break;
        }
        case kFullyConnected: {
            op.kind = OpKind::FullyConnected;
            requireOptions(kFullyConnectedOptions);
            requireCount(2, 3);
            const int x = input(0), weights = input(1);
            requireValue(x, "input");
            requireConstant(weights, "weights");
            requireRank(weights, 2, "weights");
            op.activation = activation(fb_.scalar<std::int8_t>(options, 0, 0));
            if (fb_.scalar<std::int8_t>(options, 1, 0) != 0)
                ctx.fail("shuffled weights are not supported");
            op.keepDims = fb_.scalar<std::uint8_t>(options, 2, 0) != 0;
            const auto& ws = shapeOf(weights);
            const auto& xs = shapeOf(x);
            if (graph_.tensors[x].elementCount() % ws[1] != 0 ||
                (op.keepDims && xs.back() != ws[1]))
                ctx.fail("weights " + tensorText(weights) + " do not fit input " + tensorText(x));
            if (inputs.size() == 3 && inputs[2] >= 0) {
                requireConstant(inputs[2], "bias");
                if (graph_.tensors[inputs[2]].elementCount() != ws[0])
                    ctx.fail("bias " + tensorText(inputs[2]) + " does not fit the weights");
            }
            if (op.keepDims) {
                expected = xs;
                expected.back() = ws[0];
            } else {
                expected = {int(graph_.tensors[x].elementCount() / ws[1]), ws[0]};
            }
            op.inputs = {x, weights, inputs.size() == 3 ? inputs[2] : -1};
            break;
        }
        case kLogistic: {
            op.kind = OpKind::Logistic;
            requireCount(1, 1);
            const int x = input(0);
            requireValue(x, "input");
            expected = shapeOf(x);
            op.inputs = {x};
            break;
        }
        default:
            ctx.fail("operator is not supported by this importer");
        }

        if (defined_[out] || raw_[out].type != Float32)
            ctx.fail("output " + tensorText(out) + " is a constant or computed twice");
        if (shapeOf(out) != expected)
            ctx.fail("output " + tensorText(out) + " should have shape " + shapeText(expected));
        defined_[out] = true;
        activationElements_ += graph_.tensors[out].elementCount();
        if (activationElements_ > kMaxActivationElements)
            ctx.fail("the activations need more memory than any hand model does");
        graph_.ops.push_back(std::move(op));
    }

    const FlatBufferView& fb_;
    ModelGraph graph_;
    std::vector<std::int32_t> opCodes_;
    FlatBufferView::Vector buffers_;
    std::vector<RawTensor> raw_;
    std::vector<bool> defined_;
    std::int64_t activationElements_ = 0;
};

} // namespace

std::optional<ModelGraph> TfliteReader::read(std::span<const std::uint8_t> bytes,
                                             const std::string& name, std::string& error) {
    try {
        FlatBufferView view(bytes);
        ModelGraph graph = Builder(view).build();
        graph.source = name;
        return graph;
    } catch (const ModelError& e) {
        error = name + ": " + e.what();
    } catch (const std::bad_alloc&) {
        error = name + ": out of memory while reading the model";
    }
    return std::nullopt;
}

std::optional<ModelGraph> TfliteReader::readFile(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        error = path + ": cannot open the model file";
        return std::nullopt;
    }
    const std::streamoff size = file.tellg();
    if (size < 0 || std::uint64_t(size) > kMaxFileSize) {
        error = path + ": the model file is too large or unreadable";
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = path + ": cannot read the model file";
        return std::nullopt;
    }
    return read(bytes, path, error);
}

} // namespace palmcue::handpose
