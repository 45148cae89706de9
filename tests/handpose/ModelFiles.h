// SPDX-License-Identifier: Apache-2.0
// Where the tests find the hand models and a picture to feed them.
#pragma once

#include "handpose/ModelGraph.h"

#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

namespace palmcue::handpose::test {

// The models folder from $PALMCUE_MODEL_DIR (set by ctest), when both models are in it.
std::optional<std::string> modelDir();
std::string modelPath(const char* file);

// A real hand photo (BGR) from the shared folder when present, else a synthetic picture.
cv::Mat samplePicture();

// `picture` resized to size×size, as RGB floats in [0, 1] (the models' input layout).
void fillInput(const cv::Mat& picture, int size, float* input);

// An installed model with samplePicture() as its input. The graph is null, and `error` says
// why, when the model cannot be read.
struct ModelOnPhoto {
    std::shared_ptr<const ModelGraph> graph;
    std::vector<float> input;
    std::string error;
};
ModelOnPhoto modelOnPhoto(const char* file);

} // namespace palmcue::handpose::test

#define PALMCUE_SKIP_WITHOUT_MODELS()                                                              \
    if (!palmcue::handpose::test::modelDir())                                                      \
    GTEST_SKIP() << "the hand models are not installed (scripts/fetch-models.sh)"
