// SPDX-License-Identifier: Apache-2.0
// Writes small TFLite flatbuffers by hand, so that the reader's error paths and the importer's
// operators can be tried on models built for the purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace palmcue::handpose::test {

class TinyModelWriter {
public:
    struct Scalar {
        int field;
        int size; // bytes: 1, 4 or 8
        std::int64_t value;
    };
    struct Tensor {
        std::vector<int> shape;
        int type = 0; // 0 float32, 1 float16, 2 int32
        std::vector<std::uint8_t> data;
        std::string name = "t";
    };
    struct Op {
        int builtin = 0;
        std::vector<int> inputs;
        std::vector<int> outputs;
        int optionsType = 0;
        std::vector<Scalar> options; // written only when optionsType != 0
        std::string customCode;
    };

    int addTensor(std::vector<int> shape, std::vector<float> values = {});
    int addIntTensor(std::vector<int> shape, std::vector<std::int32_t> values);
    void addOp(Op op) { ops.push_back(std::move(op)); }

    std::vector<std::uint8_t> write() const;

    std::vector<Tensor> tensors;
    std::vector<Op> ops;
    std::vector<int> inputs;
    std::vector<int> outputs;
    int version = 3;
};

} // namespace palmcue::handpose::test
