// SPDX-License-Identifier: Apache-2.0
#include "handpose/tflite/OperatorFamilies.h"
#include "handpose/tflite/Schema.h"

namespace palmcue::handpose::tflite {

std::vector<int> readPad(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::Pad;
    r.optionalOptions(kPadOptions);
    r.requireCount(2, 2);
    const int x = r.input(0);
    r.requireValue(x, "input");
    const auto& paddings = r.intConstant(r.input(1), "paddings");
    const auto& xs = r.shapeOf(x);
    if (paddings.size() != xs.size() * 2)
        r.fail("paddings do not fit input " + r.tensorText(x));
    std::vector<int> expected;
    for (std::size_t d = 0; d < xs.size(); ++d) {
        const std::int32_t before = paddings[2 * d], after = paddings[2 * d + 1];
        if (before < 0 || after < 0 || before > kMaxElements || after > kMaxElements)
            r.fail("bad padding " + std::to_string(before) + "," + std::to_string(after));
        op.padBefore.push_back(before);
        op.padAfter.push_back(after);
        expected.push_back(xs[d] + before + after);
    }
    op.inputs = {x};
    return expected;
}

std::vector<int> readResizeBilinear(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::ResizeBilinear;
    r.requireOptions(kResizeBilinearOptions);
    r.requireCount(2, 2);
    const int x = r.input(0);
    r.requireFeatureMap(x);
    const auto& size = r.intConstant(r.input(1), "size");
    if (size.size() != 2 || size[0] < 1 || size[1] < 1 || size[0] > kMaxElements ||
        size[1] > kMaxElements)
        r.fail("bad output size");
    op.alignCorners = r.option<std::uint8_t>(ResizeBilinearOptionsField::AlignCorners, 0) != 0;
    op.halfPixelCenters =
        r.option<std::uint8_t>(ResizeBilinearOptionsField::HalfPixelCenters, 0) != 0;
    if (op.alignCorners && op.halfPixelCenters)
        r.fail("align_corners and half_pixel_centers are both set");
    const auto& xs = r.shapeOf(x);
    op.inputs = {x};
    return {xs[0], size[0], size[1], xs[3]};
}

// The new shape is the output tensor's own; the optional shape input is not read.
std::vector<int> readReshape(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::Reshape;
    r.optionalOptions(kReshapeOptions);
    r.requireCount(1, 2);
    const int x = r.input(0);
    r.requireValue(x, "input");
    const int out = op.outputs[0];
    if (r.tensor(x).elementCount() != r.tensor(out).elementCount())
        r.fail("output " + r.tensorText(out) + " does not hold the elements of " + r.tensorText(x));
    op.inputs = {x};
    return r.shapeOf(out);
}

std::vector<int> readConcatenation(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::Concatenation;
    r.requireOptions(kConcatenationOptions);
    const auto& inputs = r.inputs();
    if (inputs.empty())
        r.fail("has no inputs");
    for (std::size_t i = 0; i < inputs.size(); ++i)
        r.requireValue(r.input(i), "input");
    const auto& first = r.shapeOf(inputs[0]);
    const int rank = int(first.size());
    int axis = r.option<std::int32_t>(ConcatenationOptionsField::Axis, 0);
    if (axis < 0)
        axis += rank;
    if (axis < 0 || axis >= rank)
        r.fail("axis out of range");
    op.axis = axis;
    op.activation = r.activation(ConcatenationOptionsField::FusedActivation);
    std::vector<int> expected = first;
    expected[axis] = 0;
    for (int t : inputs) {
        const auto& s = r.shapeOf(t);
        if (int(s.size()) != rank)
            r.fail("inputs differ in rank");
        for (int d = 0; d < rank; ++d)
            if (d != axis && s[d] != first[d])
                r.fail("input " + r.tensorText(t) + " does not fit " + r.tensorText(inputs[0]));
        expected[axis] += s[axis];
    }
    op.inputs = inputs;
    return expected;
}

} // namespace palmcue::handpose::tflite
