// SPDX-License-Identifier: Apache-2.0
// The rotated square around a hand that the landmark model looks at, derived from a palm
// detection or from the hand's landmarks in the previous frame: turned so that the wrist-to-
// knuckles line points up, enlarged to take in the fingers and shifted towards them. All in
// frame pixels, y down.
#pragma once

#include "handpose/PalmDetection.h"

#include <array>

namespace palmcue::handpose {

class HandRegion {
public:
    static constexpr double kScale = 2.6;
    static constexpr double kShiftY = -0.5;

    // The region from the hand's landmarks: twice the box around the palm and the fingers'
    // lower joints (tips move too much to steady it), squared, a tenth of it towards the fingers.
    static constexpr double kLandmarkScale = 2.0;
    static constexpr double kLandmarkShiftY = -0.1;

    // `palm` in frame pixels.
    static HandRegion fromPalm(const PalmDetection& palm);
    // The 21 joints in frame pixels, in the landmark model's order.
    static HandRegion fromLandmarks(const std::array<PalmPoint, 21>& joints);

    // The 2×3 affine matrix taking pixel indices of a cropSize×cropSize crop to pixel indices of
    // the frame (for cv::warpAffine with WARP_INVERSE_MAP).
    void cropToFrame(int cropSize, double matrix[6]) const;
    // A point in continuous crop coordinates (0..cropSize) to continuous frame coordinates.
    PalmPoint toFrame(double x, double y, int cropSize) const;

    double centerX = 0.0, centerY = 0.0;
    double size = 0.0;
    double rotation = 0.0; // radians, clockwise on screen
};

} // namespace palmcue::handpose
