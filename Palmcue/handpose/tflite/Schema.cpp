// SPDX-License-Identifier: Apache-2.0
#include "handpose/tflite/Schema.h"

#include <array>

namespace palmcue::handpose::tflite {
namespace {

// BuiltinOperator names by code (the first 60), for messages that name a refused operator.
// clang-format off
constexpr std::array<const char*, 60> kBuiltinNames = {
    /*  0 */ "ADD", "AVERAGE_POOL_2D", "CONCATENATION", "CONV_2D", "DEPTHWISE_CONV_2D",
    /*  5 */ "DEPTH_TO_SPACE", "DEQUANTIZE", "EMBEDDING_LOOKUP", "FLOOR", "FULLY_CONNECTED",
    /* 10 */ "HASHTABLE_LOOKUP", "L2_NORMALIZATION", "L2_POOL_2D", "LOCAL_RESPONSE_NORMALIZATION",
             "LOGISTIC",
    /* 15 */ "LSH_PROJECTION", "LSTM", "MAX_POOL_2D", "MUL", "RELU",
    /* 20 */ "RELU_N1_TO_1", "RELU6", "RESHAPE", "RESIZE_BILINEAR", "RNN",
    /* 25 */ "SOFTMAX", "SPACE_TO_DEPTH", "SVDF", "TANH", "CONCAT_EMBEDDINGS",
    /* 30 */ "SKIP_GRAM", "CALL", "CUSTOM", "EMBEDDING_LOOKUP_SPARSE", "PAD",
    /* 35 */ "UNIDIRECTIONAL_SEQUENCE_RNN", "GATHER", "BATCH_TO_SPACE_ND", "SPACE_TO_BATCH_ND",
             "TRANSPOSE",
    /* 40 */ "MEAN", "SUB", "DIV", "SQUEEZE", "UNIDIRECTIONAL_SEQUENCE_LSTM",
    /* 45 */ "STRIDED_SLICE", "BIDIRECTIONAL_SEQUENCE_RNN", "EXP", "TOPK_V2", "SPLIT",
    /* 50 */ "LOG_SOFTMAX", "DELEGATE", "BIDIRECTIONAL_SEQUENCE_LSTM", "CAST", "PRELU",
    /* 55 */ "MAXIMUM", "ARG_MAX", "MINIMUM", "LESS", "NEG"};
// clang-format on

} // namespace

std::string builtinText(std::int32_t code) {
    if (code >= 0 && code < std::int32_t(kBuiltinNames.size()))
        return kBuiltinNames[code];
    return "builtin operator " + std::to_string(code);
}

} // namespace palmcue::handpose::tflite
