// SPDX-License-Identifier: Apache-2.0
// Turns the palm model's raw outputs into palm detections: anchor decoding, sigmoid scores and
// weighted non-maximum suppression, as the model was trained to be read. Coordinates come out
// normalised to the model's 192×192 input.
#pragma once

#include "handpose/PalmDetection.h"

#include <span>
#include <vector>

namespace palmcue::handpose {

class PalmDecoder {
public:
    static constexpr int kInputSize = 192;
    static constexpr int kAnchorCount = 2016;
    static constexpr int kValuesPerAnchor = 18;
    static constexpr float kScoreThreshold = 0.5f;
    static constexpr double kIouThreshold = 0.3;

    PalmDecoder();

    // `regressors` holds kAnchorCount × 18 values, `logits` kAnchorCount scores. Returns the
    // palms, most confident first; the vector is reused between calls.
    const std::vector<PalmDetection>& decode(std::span<const float> regressors,
                                             std::span<const float> logits);
    // The highest score of any anchor in the last decode(), palm or not.
    float bestScore() const { return bestScore_; }

    struct Anchor {
        double x, y;
    };
    const std::vector<Anchor>& anchors() const { return anchors_; }

private:
    std::vector<Anchor> anchors_;
    std::vector<PalmDetection> candidates_;
    std::vector<PalmDetection> remaining_;
    std::vector<PalmDetection> result_;
    float bestScore_ = 0.0f;
};

} // namespace palmcue::handpose
