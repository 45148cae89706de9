// SPDX-License-Identifier: Apache-2.0
#include "handpose/ModelGraph.h"

namespace palmcue::handpose {

const char* opKindName(OpKind kind) {
    switch (kind) {
    case OpKind::Add:
        return "ADD";
    case OpKind::Concatenation:
        return "CONCATENATION";
    case OpKind::Conv2D:
        return "CONV_2D";
    case OpKind::DepthwiseConv2D:
        return "DEPTHWISE_CONV_2D";
    case OpKind::FullyConnected:
        return "FULLY_CONNECTED";
    case OpKind::Logistic:
        return "LOGISTIC";
    case OpKind::MaxPool2D:
        return "MAX_POOL_2D";
    case OpKind::Mean:
        return "MEAN";
    case OpKind::Pad:
        return "PAD";
    case OpKind::PRelu:
        return "PRELU";
    case OpKind::Reshape:
        return "RESHAPE";
    case OpKind::ResizeBilinear:
        return "RESIZE_BILINEAR";
    }
    return "?";
}

std::int64_t GraphTensor::elementCount() const {
    std::int64_t count = 1;
    for (int d : shape)
        count *= d;
    return count;
}

} // namespace palmcue::handpose
