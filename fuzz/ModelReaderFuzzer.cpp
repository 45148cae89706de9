// SPDX-License-Identifier: Apache-2.0
// Feeds arbitrary bytes to the TFLite reader; graphs it accepts are imported into XNNPACK and
// run when small, so that anything the reader lets through is also safe for the importer.
#include "handpose/TfliteReader.h"
#include "handpose/XnnpackNetwork.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

using namespace palmcue::handpose;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto graph = TfliteReader::read(std::span<const std::uint8_t>(data, size), "fuzz");
    if (!graph) {
        const std::string& error = graph.error();
        if (error.rfind("fuzz: ", 0) != 0 || error.size() <= 6)
            __builtin_trap(); // every refusal names the file and gives a reason
        return 0;
    }
    std::int64_t elements = 0;
    for (const auto& tensor : graph->tensors)
        elements += tensor.elementCount();
    if (elements > (1 << 16))
        return 0;
    auto network = XnnpackNetwork::create(std::move(*graph), nullptr);
    if (network) {
        for (float& v : (*network)->input())
            v = 0.5f;
        (void)(*network)->run();
    }
    return 0;
}
