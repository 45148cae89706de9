// SPDX-License-Identifier: Apache-2.0
#include "handpose/tflite/OperatorFamilies.h"
#include "handpose/tflite/Schema.h"

#include <algorithm>

namespace palmcue::handpose::tflite {

// Only the global average over height and width, as the landmark models use it.
std::vector<int> readMean(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::Mean;
    r.requireCount(2, 2);
    const int x = r.input(0);
    r.requireFeatureMap(x);
    auto axes = r.intConstant(r.input(1), "axes");
    std::sort(axes.begin(), axes.end());
    if (axes != std::vector<std::int32_t>{1, 2})
        r.fail("only the mean over height and width is supported");
    if (r.optionalOptions(kReducerOptions))
        op.keepDims = r.option<std::uint8_t>(ReducerOptionsField::KeepDims, 0) != 0;
    const auto& xs = r.shapeOf(x);
    op.inputs = {x};
    return op.keepDims ? std::vector<int>{xs[0], 1, 1, xs[3]} : std::vector<int>{xs[0], xs[3]};
}

std::vector<int> readFullyConnected(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::FullyConnected;
    r.requireOptions(kFullyConnectedOptions);
    r.requireCount(2, 3);
    const int x = r.input(0), weights = r.input(1);
    r.requireValue(x, "input");
    r.requireConstant(weights, "weights");
    r.requireRank(weights, 2, "weights");
    op.activation = r.activation(FullyConnectedOptionsField::FusedActivation);
    if (r.option<std::int8_t>(FullyConnectedOptionsField::WeightsFormat, 0) != 0)
        r.fail("shuffled weights are not supported");
    op.keepDims = r.option<std::uint8_t>(FullyConnectedOptionsField::KeepNumDims, 0) != 0;
    const auto& ws = r.shapeOf(weights);
    const auto& xs = r.shapeOf(x);
    const std::int64_t elements = r.tensor(x).elementCount();
    if (elements % ws[1] != 0 || (op.keepDims && xs.back() != ws[1]))
        r.fail("weights " + r.tensorText(weights) + " do not fit input " + r.tensorText(x));
    const int bias = r.optionalBias(ws[0], "the weights");
    op.inputs = {x, weights, bias};
    if (!op.keepDims)
        return {int(elements / ws[1]), ws[0]};
    std::vector<int> expected = xs;
    expected.back() = ws[0];
    return expected;
}

} // namespace palmcue::handpose::tflite
