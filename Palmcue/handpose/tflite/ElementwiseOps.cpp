// SPDX-License-Identifier: Apache-2.0
#include "handpose/tflite/OperatorFamilies.h"
#include "handpose/tflite/Schema.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace palmcue::handpose::tflite {

std::vector<int> readAdd(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::Add;
    if (r.optionalOptions(kAddOptions))
        op.activation = r.activation(AddOptionsField::FusedActivation);
    r.requireCount(2, 2);
    const int a = r.input(0), b = r.input(1);
    for (int t : {a, b})
        if (!r.tensor(t).isConstant())
            r.requireValue(t, "input");
    // Numpy-style broadcasting from the right.
    const auto& as = r.shapeOf(a);
    const auto& bs = r.shapeOf(b);
    const std::size_t rank = std::max(as.size(), bs.size());
    std::vector<int> expected(rank, 1);
    for (std::size_t i = 0; i < rank; ++i) {
        const int da = i < as.size() ? as[as.size() - 1 - i] : 1;
        const int db = i < bs.size() ? bs[bs.size() - 1 - i] : 1;
        if (da != db && da != 1 && db != 1)
            r.fail("inputs " + r.tensorText(a) + " and " + r.tensorText(b) + " do not broadcast");
        expected[rank - 1 - i] = std::max(da, db);
    }
    op.inputs = {a, b};
    return expected;
}

std::vector<int> readPrelu(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::PRelu;
    r.requireCount(2, 2);
    const int x = r.input(0), slope = r.input(1);
    r.requireFeatureMap(x);
    r.requireConstant(slope, "slope");
    const auto& ss = r.shapeOf(slope);
    for (std::size_t i = 0; i + 1 < ss.size(); ++i)
        if (ss[i] != 1)
            r.fail("slope " + r.tensorText(slope) + " is not per channel");
    if (ss.empty() || ss.back() != r.shapeOf(x)[3])
        r.fail("slope " + r.tensorText(slope) + " does not fit input " + r.tensorText(x));
    op.inputs = {x, slope};
    return r.shapeOf(x);
}

std::vector<int> readLogistic(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::Logistic;
    r.requireCount(1, 1);
    const int x = r.input(0);
    r.requireValue(x, "input");
    op.inputs = {x};
    return r.shapeOf(x);
}

void readDequantize(OperatorReader& r, int out) {
    const auto& inputs = r.inputs();
    if (inputs.size() != 1 || inputs[0] < 0)
        r.fail("expected one input");
    const int in = inputs[0];
    GraphState& state = r.state();
    const RawTensor& raw = state.raw[in];
    if (raw.type != Float16 || raw.data.empty())
        r.fail("only float16 constants can be dequantized, got " + r.tensorText(in));
    if (state.raw[out].type != Float32 || r.shapeOf(out) != r.shapeOf(in) || state.defined[out])
        r.fail("output " + r.tensorText(out) + " does not match input " + r.tensorText(in));
    auto& constant = state.graph.tensors[out].constant;
    constant.resize(r.tensor(in).elementCount());
    for (std::size_t i = 0; i < constant.size(); ++i) {
        std::uint16_t h;
        std::memcpy(&h, raw.data.data() + 2 * i, 2);
        constant[i] = halfToFloat(h);
        if (!std::isfinite(constant[i]))
            r.fail("tensor " + r.tensorText(in) + " holds a non-finite weight");
    }
    state.defined[out] = true;
}

} // namespace palmcue::handpose::tflite
