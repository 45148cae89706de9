// SPDX-License-Identifier: Apache-2.0
#include "handpose/tflite/OperatorFamilies.h"
#include "handpose/tflite/Schema.h"

#include <algorithm>

namespace palmcue::handpose::tflite {
namespace {

constexpr int kMaxWindow = 64;

// The output size along one axis; sets the padding SAME needs before and after.
int window(const OperatorReader& r, int padding, int in, int kernel, int stride, int dilation,
           int& before, int& after) {
    if (stride < 1 || stride > kMaxWindow || dilation < 1 || dilation > kMaxWindow || kernel < 1 ||
        kernel > kMaxWindow)
        r.fail("bad stride, dilation or window size");
    const int effective = (kernel - 1) * dilation + 1;
    if (padding == kSame) {
        const int outSize = (in + stride - 1) / stride;
        const int total = std::max((outSize - 1) * stride + effective - in, 0);
        before = total / 2;
        after = total - before;
        return outSize;
    }
    if (padding == kValid) {
        if (in < effective)
            r.fail("window larger than its input");
        before = after = 0;
        return (in - effective) / stride + 1;
    }
    r.fail("unknown padding " + std::to_string(padding));
}

// The output channels the filter gives input `x`; sets the depth multiplier of a depthwise one.
int outputChannels(const OperatorReader& r, GraphOp& op, int x, int filter, bool depthwise) {
    const auto& xs = r.shapeOf(x);
    const auto& fs = r.shapeOf(filter);
    const bool fits = depthwise ? fs[0] == 1 && fs[3] % xs[3] == 0 : fs[3] == xs[3];
    if (!fits)
        r.fail("filter " + r.tensorText(filter) + " does not fit input " + r.tensorText(x));
    if (!depthwise)
        return fs[0];
    op.depthMultiplier = fs[3] / xs[3];
    return fs[3];
}

} // namespace

std::vector<int> readConvolution(OperatorReader& r, GraphOp& op, bool depthwise) {
    const ConvolutionOptionsFields& field =
        depthwise ? DepthwiseConv2DOptionsField : Conv2DOptionsField;
    op.kind = depthwise ? OpKind::DepthwiseConv2D : OpKind::Conv2D;
    r.requireOptions(depthwise ? kDepthwiseConv2DOptions : kConv2DOptions);
    r.requireCount(2, 3);
    const int x = r.input(0), filter = r.input(1);
    r.requireFeatureMap(x);
    r.requireConstant(filter, "filter");
    r.requireRank(filter, 4, "filter");
    const int outChannels = outputChannels(r, op, x, filter, depthwise);
    const int bias = r.optionalBias(outChannels, "the filter");
    const int padding = r.option<std::int8_t>(field.Padding, kSame);
    op.strideW = r.option<std::int32_t>(field.StrideW, 1);
    op.strideH = r.option<std::int32_t>(field.StrideH, 1);
    op.activation = r.activation(field.FusedActivation);
    op.dilationW = r.option<std::int32_t>(field.DilationW, 1);
    op.dilationH = r.option<std::int32_t>(field.DilationH, 1);
    const auto& xs = r.shapeOf(x);
    const auto& fs = r.shapeOf(filter);
    op.filterH = fs[1];
    op.filterW = fs[2];
    const int oh =
        window(r, padding, xs[1], fs[1], op.strideH, op.dilationH, op.padTop, op.padBottom);
    const int ow =
        window(r, padding, xs[2], fs[2], op.strideW, op.dilationW, op.padLeft, op.padRight);
    op.inputs = {x, filter, bias};
    return {xs[0], oh, ow, outChannels};
}

std::vector<int> readMaxPool(OperatorReader& r, GraphOp& op) {
    op.kind = OpKind::MaxPool2D;
    r.requireOptions(kPool2DOptions);
    r.requireCount(1, 1);
    const int x = r.input(0);
    r.requireFeatureMap(x);
    const int padding = r.option<std::int8_t>(Pool2DOptionsField::Padding, kSame);
    op.strideW = r.option<std::int32_t>(Pool2DOptionsField::StrideW, 1);
    op.strideH = r.option<std::int32_t>(Pool2DOptionsField::StrideH, 1);
    op.filterW = r.option<std::int32_t>(Pool2DOptionsField::FilterWidth, 1);
    op.filterH = r.option<std::int32_t>(Pool2DOptionsField::FilterHeight, 1);
    op.activation = r.activation(Pool2DOptionsField::FusedActivation);
    const auto& xs = r.shapeOf(x);
    const int oh = window(r, padding, xs[1], op.filterH, op.strideH, 1, op.padTop, op.padBottom);
    const int ow = window(r, padding, xs[2], op.filterW, op.strideW, 1, op.padLeft, op.padRight);
    op.inputs = {x};
    return {xs[0], oh, ow, xs[3]};
}

} // namespace palmcue::handpose::tflite
