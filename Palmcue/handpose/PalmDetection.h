// SPDX-License-Identifier: Apache-2.0
// One palm found by the detector: a box and seven keypoints (0 = wrist, 2 = middle-finger
// knuckle), in whatever pixel or normalised units the stage that holds it works in.
#pragma once

#include <array>

namespace palmcue::handpose {

struct PalmPoint {
    double x = 0.0;
    double y = 0.0;
};

struct PalmDetection {
    float score = 0.0f;
    double xMin = 0.0, yMin = 0.0, width = 0.0, height = 0.0;
    std::array<PalmPoint, 7> keypoints{};
};

} // namespace palmcue::handpose
