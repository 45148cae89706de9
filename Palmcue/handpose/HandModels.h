// SPDX-License-Identifier: Apache-2.0
// The palm-detection and hand-landmark networks, read from the model folder and built once.
// A model that failed to load is not read again: the same error is given at every call.
#pragma once

#include "engine/Result.h"
#include "handpose/ThreadPool.h"
#include "handpose/XnnpackNetwork.h"

#include <chrono>
#include <memory>
#include <string>

namespace palmcue::handpose {

class HandModels {
public:
    static constexpr const char* kPalmModelFile = "palm_detection_full.tflite";
    static constexpr const char* kLandmarkModelFile = "hand_landmark_full.tflite";
    static constexpr int kPalmSize = 192;
    static constexpr int kLandmarkSize = 224;

    HandModels(std::string modelDir, int threads);

    Result<void> load();
    bool loaded() const { return palm_ && landmark_; }
    // Only once loaded.
    XnnpackNetwork& palm() { return *palm_; }
    XnnpackNetwork& landmark() { return *landmark_; }
    // CPU time of the pool's workers so far.
    std::chrono::nanoseconds workerCpuTime() const;

private:
    Result<void> build();
    Result<std::unique_ptr<XnnpackNetwork>> buildNetwork(const char* file, std::size_t inputs,
                                                         std::size_t outputs);
    Result<void> checkShapes() const;

    std::string modelDir_;
    int threads_;
    std::string loadError_;
    std::unique_ptr<ThreadPool> pool_;
    std::unique_ptr<XnnpackNetwork> palm_;
    std::unique_ptr<XnnpackNetwork> landmark_;
};

} // namespace palmcue::handpose
