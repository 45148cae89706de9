// SPDX-License-Identifier: Apache-2.0
#include "ReferenceInterpreter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace palmcue::handpose::test {
namespace {

std::vector<std::size_t> stridesOf(const std::vector<int>& shape) {
    std::vector<std::size_t> strides(shape.size(), 1);
    for (int d = int(shape.size()) - 2; d >= 0; --d)
        strides[d] = strides[d + 1] * std::size_t(shape[d + 1]);
    return strides;
}

std::size_t countOf(const std::vector<int>& shape) {
    std::size_t count = 1;
    for (int d : shape)
        count *= std::size_t(d);
    return count;
}

} // namespace

ReferenceInterpreter::ReferenceInterpreter(const ModelGraph& graph)
    : graph_(graph), values_(graph.tensors.size()) {
    for (std::size_t t = 0; t < graph.tensors.size(); ++t) {
        const GraphTensor& tensor = graph.tensors[t];
        values_[t] =
            tensor.isConstant() ? tensor.constant : std::vector<float>(countOf(tensor.shape), 0.0f);
    }
}

float ReferenceInterpreter::activate(double value, Activation activation) const {
    switch (activation) {
    case Activation::None:
        break;
    case Activation::Relu:
        value = std::max(value, 0.0);
        break;
    case Activation::Relu6:
        value = std::clamp(value, 0.0, 6.0);
        break;
    case Activation::ReluN1To1:
        value = std::clamp(value, -1.0, 1.0);
        break;
    }
    return float(value);
}

void ReferenceInterpreter::run() {
    for (const GraphOp& op : graph_.ops) {
        switch (op.kind) {
        case OpKind::Conv2D:
            conv(op, false);
            break;
        case OpKind::DepthwiseConv2D:
            conv(op, true);
            break;
        case OpKind::MaxPool2D:
            maxPool(op);
            break;
        case OpKind::Add:
            add(op);
            break;
        case OpKind::PRelu:
            prelu(op);
            break;
        case OpKind::Pad:
            pad(op);
            break;
        case OpKind::ResizeBilinear:
            resize(op);
            break;
        case OpKind::Reshape:
            values_[op.outputs[0]] = in(op, 0);
            break;
        case OpKind::Concatenation:
            concatenate(op);
            break;
        case OpKind::Mean:
            mean(op);
            break;
        case OpKind::FullyConnected:
            fullyConnected(op);
            break;
        case OpKind::Logistic: {
            auto& out = values_[op.outputs[0]];
            const auto& x = in(op, 0);
            for (std::size_t i = 0; i < x.size(); ++i)
                out[i] = float(1.0 / (1.0 + std::exp(-double(x[i]))));
            break;
        }
        }
    }
}

void ReferenceInterpreter::conv(const GraphOp& op, bool depthwise) {
    const auto& xs = shape(op.inputs[0]);
    const auto& os = shape(op.outputs[0]);
    const auto& fs = shape(op.inputs[1]);
    const auto& x = in(op, 0);
    const auto& w = in(op, 1);
    const std::vector<float>* bias = op.inputs[2] >= 0 ? &in(op, 2) : nullptr;
    auto& out = values_[op.outputs[0]];
    const int H = xs[1], W = xs[2], C = xs[3];
    const int KH = fs[1], KW = fs[2], O = os[3];
    for (int n = 0; n < os[0]; ++n)
        for (int oy = 0; oy < os[1]; ++oy)
            for (int ox = 0; ox < os[2]; ++ox)
                for (int oc = 0; oc < O; ++oc) {
                    double sum = bias ? (*bias)[oc] : 0.0;
                    for (int ky = 0; ky < KH; ++ky) {
                        const int iy = oy * op.strideH - op.padTop + ky * op.dilationH;
                        if (iy < 0 || iy >= H)
                            continue;
                        for (int kx = 0; kx < KW; ++kx) {
                            const int ix = ox * op.strideW - op.padLeft + kx * op.dilationW;
                            if (ix < 0 || ix >= W)
                                continue;
                            const std::size_t pixel = ((std::size_t(n) * H + iy) * W + ix) * C;
                            if (depthwise) {
                                const int ic = oc / op.depthMultiplier;
                                sum +=
                                    double(x[pixel + ic]) * w[(std::size_t(ky) * KW + kx) * O + oc];
                            } else {
                                const std::size_t filter =
                                    ((std::size_t(oc) * KH + ky) * KW + kx) * C;
                                for (int ic = 0; ic < C; ++ic)
                                    sum += double(x[pixel + ic]) * w[filter + ic];
                            }
                        }
                    }
                    out[((std::size_t(n) * os[1] + oy) * os[2] + ox) * O + oc] =
                        activate(sum, op.activation);
                }
}

void ReferenceInterpreter::maxPool(const GraphOp& op) {
    const auto& xs = shape(op.inputs[0]);
    const auto& os = shape(op.outputs[0]);
    const auto& x = in(op, 0);
    auto& out = values_[op.outputs[0]];
    for (int n = 0; n < os[0]; ++n)
        for (int oy = 0; oy < os[1]; ++oy)
            for (int ox = 0; ox < os[2]; ++ox)
                for (int c = 0; c < os[3]; ++c) {
                    double best = -INFINITY;
                    for (int ky = 0; ky < op.filterH; ++ky)
                        for (int kx = 0; kx < op.filterW; ++kx) {
                            const int iy = oy * op.strideH - op.padTop + ky;
                            const int ix = ox * op.strideW - op.padLeft + kx;
                            if (iy < 0 || iy >= xs[1] || ix < 0 || ix >= xs[2])
                                continue; // padding never wins a max
                            best = std::max(
                                best,
                                double(
                                    x[((std::size_t(n) * xs[1] + iy) * xs[2] + ix) * xs[3] + c]));
                        }
                    out[((std::size_t(n) * os[1] + oy) * os[2] + ox) * os[3] + c] =
                        activate(best, op.activation);
                }
}

void ReferenceInterpreter::add(const GraphOp& op) {
    const auto& os = shape(op.outputs[0]);
    const auto outStrides = stridesOf(os);
    auto& out = values_[op.outputs[0]];
    // Each input's strides over the output's index space (0 along broadcast dimensions).
    auto broadcastStrides = [&](int tensor) {
        const auto& s = shape(tensor);
        const auto own = stridesOf(s);
        std::vector<std::size_t> strides(os.size(), 0);
        const std::size_t offset = os.size() - s.size();
        for (std::size_t d = 0; d < s.size(); ++d)
            strides[offset + d] = s[d] == 1 ? 0 : own[d];
        return strides;
    };
    const auto sa = broadcastStrides(op.inputs[0]);
    const auto sb = broadcastStrides(op.inputs[1]);
    const auto& a = in(op, 0);
    const auto& b = in(op, 1);
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::size_t rest = i, ia = 0, ib = 0;
        for (std::size_t d = 0; d < os.size(); ++d) {
            const std::size_t coordinate = rest / outStrides[d];
            rest %= outStrides[d];
            ia += coordinate * sa[d];
            ib += coordinate * sb[d];
        }
        out[i] = activate(double(a[ia]) + double(b[ib]), op.activation);
    }
}

void ReferenceInterpreter::prelu(const GraphOp& op) {
    const auto& x = in(op, 0);
    const auto& slope = in(op, 1);
    auto& out = values_[op.outputs[0]];
    const std::size_t channels = slope.size();
    for (std::size_t i = 0; i < x.size(); ++i)
        out[i] = x[i] >= 0.0f ? x[i] : float(double(x[i]) * slope[i % channels]);
}

void ReferenceInterpreter::pad(const GraphOp& op) {
    const auto& xs = shape(op.inputs[0]);
    const auto& os = shape(op.outputs[0]);
    const auto inStrides = stridesOf(xs);
    const auto outStrides = stridesOf(os);
    const auto& x = in(op, 0);
    auto& out = values_[op.outputs[0]];
    std::fill(out.begin(), out.end(), 0.0f);
    for (std::size_t i = 0; i < x.size(); ++i) {
        std::size_t rest = i, target = 0;
        for (std::size_t d = 0; d < xs.size(); ++d) {
            const std::size_t coordinate = rest / inStrides[d];
            rest %= inStrides[d];
            target += (coordinate + op.padBefore[d]) * outStrides[d];
        }
        out[target] = x[i];
    }
}

void ReferenceInterpreter::resize(const GraphOp& op) {
    const auto& xs = shape(op.inputs[0]);
    const auto& os = shape(op.outputs[0]);
    const auto& x = in(op, 0);
    auto& out = values_[op.outputs[0]];
    auto source = [&](int o, int inSize, int outSize, int& lo, int& hi, double& frac) {
        double scale = double(inSize) / outSize;
        double position;
        if (op.alignCorners) {
            scale = outSize > 1 ? double(inSize - 1) / (outSize - 1) : 0.0;
            position = o * scale;
        } else if (op.halfPixelCenters) {
            position = (o + 0.5) * scale - 0.5;
        } else {
            position = o * scale;
        }
        const double floorPos = std::floor(position);
        lo = std::max(int(floorPos), 0);
        hi = std::min(int(std::ceil(position)), inSize - 1);
        frac = position - floorPos;
    };
    const int C = xs[3];
    for (int n = 0; n < os[0]; ++n)
        for (int oy = 0; oy < os[1]; ++oy) {
            int y0, y1;
            double fy;
            source(oy, xs[1], os[1], y0, y1, fy);
            for (int ox = 0; ox < os[2]; ++ox) {
                int x0, x1;
                double fx;
                source(ox, xs[2], os[2], x0, x1, fx);
                for (int c = 0; c < C; ++c) {
                    auto at = [&](int y, int xx) {
                        return double(x[((std::size_t(n) * xs[1] + y) * xs[2] + xx) * C + c]);
                    };
                    const double top = at(y0, x0) + (at(y0, x1) - at(y0, x0)) * fx;
                    const double bottom = at(y1, x0) + (at(y1, x1) - at(y1, x0)) * fx;
                    out[((std::size_t(n) * os[1] + oy) * os[2] + ox) * C + c] =
                        float(top + (bottom - top) * fy);
                }
            }
        }
}

void ReferenceInterpreter::concatenate(const GraphOp& op) {
    const auto& os = shape(op.outputs[0]);
    auto& out = values_[op.outputs[0]];
    std::size_t outer = 1;
    for (int d = 0; d < op.axis; ++d)
        outer *= std::size_t(os[d]);
    const std::size_t outRow = out.size() / outer;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < op.inputs.size(); ++i) {
        const auto& x = in(op, i);
        const std::size_t row = x.size() / outer;
        for (std::size_t o = 0; o < outer; ++o)
            for (std::size_t k = 0; k < row; ++k)
                out[o * outRow + offset + k] = activate(x[o * row + k], op.activation);
        offset += row;
    }
}

void ReferenceInterpreter::mean(const GraphOp& op) {
    const auto& xs = shape(op.inputs[0]);
    const auto& x = in(op, 0);
    auto& out = values_[op.outputs[0]];
    const std::size_t pixels = std::size_t(xs[1]) * xs[2];
    for (int n = 0; n < xs[0]; ++n)
        for (int c = 0; c < xs[3]; ++c) {
            double sum = 0.0;
            for (std::size_t p = 0; p < pixels; ++p)
                sum += x[(n * pixels + p) * xs[3] + c];
            out[std::size_t(n) * xs[3] + c] = float(sum / pixels);
        }
}

void ReferenceInterpreter::fullyConnected(const GraphOp& op) {
    const auto& ws = shape(op.inputs[1]);
    const auto& x = in(op, 0);
    const auto& w = in(op, 1);
    const std::vector<float>* bias = op.inputs[2] >= 0 ? &in(op, 2) : nullptr;
    auto& out = values_[op.outputs[0]];
    const std::size_t O = ws[0], I = ws[1];
    for (std::size_t b = 0; b < x.size() / I; ++b)
        for (std::size_t o = 0; o < O; ++o) {
            double sum = bias ? (*bias)[o] : 0.0;
            for (std::size_t i = 0; i < I; ++i)
                sum += double(x[b * I + i]) * w[o * I + i];
            out[b * O + o] = activate(sum, op.activation);
        }
}

} // namespace palmcue::handpose::test
