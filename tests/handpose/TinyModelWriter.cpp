// SPDX-License-Identifier: Apache-2.0
#include "TinyModelWriter.h"

#include <cstring>
#include <memory>

namespace palmcue::handpose::test {
namespace {

// A minimal forward-only FlatBuffers serialiser: every object is written before the objects it
// refers to, so all offsets point forwards as the format requires.
struct Node {
    enum Kind { Table, Bytes, Tables } kind = Table;
    struct Field {
        int index;
        int size;
        std::int64_t scalar;
        std::shared_ptr<Node> child;
    };
    std::vector<Field> fields;
    std::vector<std::uint8_t> bytes;
    std::uint32_t count = 0;
    std::vector<std::shared_ptr<Node>> children;
};
using NodePtr = std::shared_ptr<Node>;

NodePtr table() {
    return std::make_shared<Node>();
}
NodePtr scalars(const void* data, std::size_t size, std::uint32_t count) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Bytes;
    const auto* p = static_cast<const std::uint8_t*>(data);
    node->bytes.assign(p, p + size);
    node->count = count;
    return node;
}
NodePtr ints(const std::vector<int>& values) {
    std::vector<std::int32_t> v(values.begin(), values.end());
    return scalars(v.data(), v.size() * 4, std::uint32_t(v.size()));
}
NodePtr string(const std::string& text) {
    auto node = scalars(text.data(), text.size(), std::uint32_t(text.size()));
    node->bytes.push_back(0);
    return node;
}
NodePtr tables(std::vector<NodePtr> children) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Tables;
    node->children = std::move(children);
    return node;
}

void put(std::vector<std::uint8_t>& buffer, std::size_t pos, std::int64_t value, int size) {
    std::memcpy(buffer.data() + pos, &value, std::size_t(size)); // little-endian host
}
void align(std::vector<std::uint8_t>& buffer, std::size_t to) {
    while (buffer.size() % to)
        buffer.push_back(0);
}

std::uint32_t writeNode(const Node& node, std::vector<std::uint8_t>& buffer) {
    align(buffer, 4);
    const std::size_t pos = buffer.size();
    if (node.kind == Node::Bytes) {
        buffer.resize(pos + 4);
        put(buffer, pos, node.count, 4);
        buffer.insert(buffer.end(), node.bytes.begin(), node.bytes.end());
        return std::uint32_t(pos);
    }
    if (node.kind == Node::Tables) {
        buffer.resize(pos + 4 + 4 * node.children.size());
        put(buffer, pos, std::int64_t(node.children.size()), 4);
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            const std::uint32_t child = writeNode(*node.children[i], buffer);
            const std::size_t slot = pos + 4 + 4 * i;
            put(buffer, slot, std::int64_t(child - slot), 4);
        }
        return std::uint32_t(pos);
    }
    int slots = 0;
    for (const auto& field : node.fields)
        slots = std::max(slots, field.index + 1);
    const std::size_t vtableSize = 4 + 2 * std::size_t(slots);
    const std::size_t vtable = pos;
    std::size_t tablePos = vtable + vtableSize;
    tablePos += (4 - tablePos % 4) % 4;
    std::vector<std::size_t> offsets;
    std::size_t inlineSize = 4;
    for (const auto& field : node.fields) {
        const int size = field.child ? 4 : field.size;
        inlineSize += (size - inlineSize % size) % size;
        offsets.push_back(inlineSize);
        inlineSize += size;
    }
    buffer.resize(tablePos + inlineSize, 0);
    put(buffer, vtable, std::int64_t(vtableSize), 2);
    put(buffer, vtable + 2, std::int64_t(inlineSize), 2);
    put(buffer, tablePos, std::int64_t(tablePos - vtable), 4);
    for (std::size_t i = 0; i < node.fields.size(); ++i) {
        put(buffer, vtable + 4 + 2 * node.fields[i].index, std::int64_t(offsets[i]), 2);
        if (!node.fields[i].child)
            put(buffer, tablePos + offsets[i], node.fields[i].scalar, node.fields[i].size);
    }
    for (std::size_t i = 0; i < node.fields.size(); ++i) {
        if (!node.fields[i].child)
            continue;
        const std::uint32_t child = writeNode(*node.fields[i].child, buffer);
        const std::size_t slot = tablePos + offsets[i];
        put(buffer, slot, std::int64_t(child - slot), 4);
    }
    return std::uint32_t(tablePos);
}

} // namespace

int TinyModelWriter::addTensor(std::vector<int> shape, std::vector<float> values) {
    Tensor tensor;
    tensor.shape = std::move(shape);
    tensor.data.resize(values.size() * 4);
    if (!values.empty())
        std::memcpy(tensor.data.data(), values.data(), tensor.data.size());
    tensor.name = "t" + std::to_string(tensors.size());
    tensors.push_back(std::move(tensor));
    return int(tensors.size()) - 1;
}

int TinyModelWriter::addIntTensor(std::vector<int> shape, std::vector<std::int32_t> values) {
    const int index = addTensor(std::move(shape));
    tensors[index].type = 2;
    tensors[index].data.resize(values.size() * 4);
    std::memcpy(tensors[index].data.data(), values.data(), values.size() * 4);
    return index;
}

std::vector<std::uint8_t> TinyModelWriter::write() const {
    std::vector<NodePtr> buffers{table()}; // buffer 0: the empty sentinel
    std::vector<NodePtr> tensorNodes;
    for (const Tensor& tensor : tensors) {
        auto node = table();
        node->fields.push_back({0, 4, 0, ints(tensor.shape)});
        node->fields.push_back({1, 1, tensor.type, nullptr});
        std::int64_t buffer = 0;
        if (!tensor.data.empty()) {
            auto data = table();
            data->fields.push_back({0, 4, 0,
                                    scalars(tensor.data.data(), tensor.data.size(),
                                            std::uint32_t(tensor.data.size()))});
            buffer = std::int64_t(buffers.size());
            buffers.push_back(data);
        }
        node->fields.push_back({2, 4, buffer, nullptr});
        node->fields.push_back({3, 4, 0, string(tensor.name)});
        tensorNodes.push_back(node);
    }
    std::vector<NodePtr> codes, operators;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        const Op& op = ops[i];
        auto code = table();
        code->fields.push_back({0, 1, std::min(op.builtin, 127), nullptr});
        if (!op.customCode.empty())
            code->fields.push_back({1, 4, 0, string(op.customCode)});
        code->fields.push_back({3, 4, op.builtin, nullptr});
        codes.push_back(code);
        auto node = table();
        node->fields.push_back({0, 4, std::int64_t(i), nullptr});
        node->fields.push_back({1, 4, 0, ints(op.inputs)});
        node->fields.push_back({2, 4, 0, ints(op.outputs)});
        if (op.optionsType) {
            auto options = table();
            for (const Scalar& s : op.options)
                options->fields.push_back({s.field, s.size, s.value, nullptr});
            node->fields.push_back({3, 1, op.optionsType, nullptr});
            node->fields.push_back({4, 4, 0, options});
        }
        operators.push_back(node);
    }
    auto subgraph = table();
    subgraph->fields.push_back({0, 4, 0, tables(tensorNodes)});
    subgraph->fields.push_back({1, 4, 0, ints(inputs)});
    subgraph->fields.push_back({2, 4, 0, ints(outputs)});
    subgraph->fields.push_back({3, 4, 0, tables(operators)});
    auto model = table();
    model->fields.push_back({0, 4, version, nullptr});
    model->fields.push_back({1, 4, 0, tables(codes)});
    model->fields.push_back({2, 4, 0, tables({subgraph})});
    model->fields.push_back({4, 4, 0, tables(buffers)});

    std::vector<std::uint8_t> bytes(8, 0);
    std::memcpy(bytes.data() + 4, "TFL3", 4);
    const std::uint32_t root = writeNode(*model, bytes);
    put(bytes, 0, root, 4);
    return bytes;
}

} // namespace palmcue::handpose::test
