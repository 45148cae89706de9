// SPDX-License-Identifier: Apache-2.0
// Reads a TFLite flatbuffer into a validated ModelGraph. Only the float models of the hand
// pipeline are in scope: float32 activations, float32 or float16 (behind DEQUANTIZE) weights and
// the operators listed in OpKind. Anything else is refused with the file name and the fault.
// The pieces are in tflite/: the schema's names, the tensor table, one reader per operator family.
#pragma once

#include "engine/Result.h"
#include "handpose/ModelGraph.h"

#include <cstdint>
#include <span>
#include <string>

namespace palmcue::handpose {

class TfliteReader {
public:
    // Reads and validates the file; a failure reads "<file>: <fault>".
    static Result<ModelGraph> readFile(const std::string& path);
    // The same for bytes already in memory; `name` is used in messages.
    static Result<ModelGraph> read(std::span<const std::uint8_t> bytes, const std::string& name);

    // Models larger than this are refused before reading them into memory.
    static constexpr std::uint64_t kMaxFileSize = 256ull << 20;
};

} // namespace palmcue::handpose
