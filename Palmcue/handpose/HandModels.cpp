// SPDX-License-Identifier: Apache-2.0
#include "handpose/HandModels.h"

#include "handpose/PalmDecoder.h"
#include "handpose/TfliteReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <sys/stat.h>
#include <vector>

namespace palmcue::handpose {
namespace {

static_assert(HandModels::kPalmSize == PalmDecoder::kInputSize);

// Why `path` cannot hold a model, found without opening it (opening a FIFO would block the
// detection thread for good); empty for a regular file.
std::string notAModelFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return "the hand model is missing (run scripts/fetch-models.sh)";
        return std::string("the hand model cannot be read (") + std::strerror(errno) + ")";
    }
    const char* kind = S_ISREG(status.st_mode)    ? nullptr
                       : S_ISDIR(status.st_mode)  ? "a folder"
                       : S_ISFIFO(status.st_mode) ? "a FIFO (named pipe)"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                       : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)
                           ? "a device"
                           : "something other than a file";
    if (!kind)
        return {};
    return std::string("is ") + kind + " where the hand model file should be";
}

} // namespace

HandModels::HandModels(std::string modelDir, int threads)
    : modelDir_(std::move(modelDir)), threads_(std::max(1, threads)) {}

Result<void> HandModels::load() {
    if (loaded())
        return {};
    if (!loadError_.empty())
        return failure(loadError_);
    if (Result<void> built = build(); !built) {
        palm_.reset();
        landmark_.reset();
        loadError_ = built.error();
        return built;
    }
    // The model files, the widened weights and XNNPACK's build scratch are free now, but
    // malloc keeps freed pages of a thread's arena resident: give them back.
    malloc_trim(0);
    return {};
}

std::chrono::nanoseconds HandModels::workerCpuTime() const {
    return pool_ ? pool_->workerCpuTime() : std::chrono::nanoseconds(0);
}

Result<void> HandModels::build() {
    pool_ = std::make_unique<ThreadPool>(threads_);
    auto palm = buildNetwork(kPalmModelFile, 1, 2);
    if (!palm)
        return std::move(palm).failure();
    auto landmark = buildNetwork(kLandmarkModelFile, 1, 4);
    if (!landmark)
        return std::move(landmark).failure();
    palm_ = std::move(*palm);
    landmark_ = std::move(*landmark);
    if (Result<void> shapes = checkShapes(); !shapes)
        return shapes;
    // The landmark model runs after the palm model, never beside it.
    return palm_->shareIntermediatesWith(*landmark_);
}

Result<std::unique_ptr<XnnpackNetwork>>
HandModels::buildNetwork(const char* file, std::size_t inputs, std::size_t outputs) {
    const std::string path = (std::filesystem::path(modelDir_) / file).string();
    if (const std::string fault = notAModelFile(path); !fault.empty())
        return failure(path + ": " + fault);
    Result<ModelGraph> graph = TfliteReader::readFile(path);
    if (!graph)
        return std::move(graph).failure();
    if (graph->inputs.size() != inputs || graph->outputs.size() != outputs)
        return failure(path + ": expected " + std::to_string(inputs) + " input(s) and " +
                       std::to_string(outputs) + " outputs, found " +
                       std::to_string(graph->inputs.size()) + " and " +
                       std::to_string(graph->outputs.size()));
    return XnnpackNetwork::create(std::move(*graph), pool_->handle());
}

Result<void> HandModels::checkShapes() const {
    auto shapeIs = [](const XnnpackNetwork& net, int tensor, std::vector<int> shape) {
        return net.graph().tensors[tensor].shape == shape;
    };
    const auto& pg = palm_->graph();
    const auto& lg = landmark_->graph();
    const bool palmOk = shapeIs(*palm_, pg.inputs[0], {1, kPalmSize, kPalmSize, 3}) &&
                        ((shapeIs(*palm_, pg.outputs[0], {1, 2016, 18}) &&
                          shapeIs(*palm_, pg.outputs[1], {1, 2016, 1})) ||
                         (shapeIs(*palm_, pg.outputs[1], {1, 2016, 18}) &&
                          shapeIs(*palm_, pg.outputs[0], {1, 2016, 1})));
    if (!palmOk)
        return failure(pg.source + ": not the palm-detection model (unexpected input or "
                                   "output shapes)");
    const bool landmarkOk =
        shapeIs(*landmark_, lg.inputs[0], {1, kLandmarkSize, kLandmarkSize, 3}) &&
        shapeIs(*landmark_, lg.outputs[0], {1, 63}) && shapeIs(*landmark_, lg.outputs[1], {1, 1});
    if (!landmarkOk)
        return failure(lg.source + ": not the hand-landmark model (unexpected input or "
                                   "output shapes)");
    return {};
}

} // namespace palmcue::handpose
