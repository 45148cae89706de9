// SPDX-License-Identifier: Apache-2.0
#include "handpose/HandRegion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace palmcue::handpose {

HandRegion HandRegion::fromPalm(const PalmDetection& palm) {
    constexpr double pi = std::numbers::pi;
    const PalmPoint wrist = palm.keypoints[0];
    const PalmPoint knuckle = palm.keypoints[2];
    double rotation = pi / 2 - std::atan2(-(knuckle.y - wrist.y), knuckle.x - wrist.x);
    rotation -= 2 * pi * std::floor((rotation + pi) / (2 * pi));

    HandRegion region;
    region.rotation = rotation;
    // The fingers lie beyond the palm box: move half a box height along the hand's "up".
    const double c = std::cos(rotation), s = std::sin(rotation);
    const double height = palm.height;
    region.centerX = palm.xMin + palm.width / 2 - height * kShiftY * s;
    region.centerY = palm.yMin + palm.height / 2 + height * kShiftY * c;
    region.size = std::max(palm.width, palm.height) * kScale;
    return region;
}

PalmPoint HandRegion::toFrame(double x, double y, int cropSize) const {
    const double c = std::cos(rotation), s = std::sin(rotation);
    const double dx = (x / cropSize - 0.5) * size;
    const double dy = (y / cropSize - 0.5) * size;
    return {centerX + c * dx - s * dy, centerY + s * dx + c * dy};
}

void HandRegion::cropToFrame(int cropSize, double matrix[6]) const {
    // Pixel index i covers the continuous span [i, i+1): its centre is i + 0.5 on both sides.
    const double c = std::cos(rotation), s = std::sin(rotation);
    const double k = size / cropSize;
    const PalmPoint origin = toFrame(0.5, 0.5, cropSize);
    matrix[0] = c * k;
    matrix[1] = -s * k;
    matrix[2] = origin.x - 0.5;
    matrix[3] = s * k;
    matrix[4] = c * k;
    matrix[5] = origin.y - 0.5;
}

} // namespace palmcue::handpose
