// SPDX-License-Identifier: Apache-2.0
#include "handpose/HandRegion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace palmcue::handpose {

namespace {

// Turns the line from `wrist` to `knuckle` upright: the angle, in (-pi, pi], clockwise on screen.
double uprightRotation(PalmPoint wrist, PalmPoint knuckle) {
    constexpr double pi = std::numbers::pi;
    const double rotation = pi / 2 - std::atan2(-(knuckle.y - wrist.y), knuckle.x - wrist.x);
    return rotation - 2 * pi * std::floor((rotation + pi) / (2 * pi));
}

} // namespace

HandRegion HandRegion::fromPalm(const PalmDetection& palm) {
    const double rotation = uprightRotation(palm.keypoints[0], palm.keypoints[2]);
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

HandRegion HandRegion::fromLandmarks(const std::array<PalmPoint, 21>& joints) {
    // The wrist, the thumb's lower joints and each finger's knuckle and middle joint.
    constexpr int kSteady[] = {0, 1, 2, 3, 5, 6, 9, 10, 13, 14, 17, 18};
    const PalmPoint& wrist = joints[0];
    const PalmPoint& index = joints[5];
    const PalmPoint& middle = joints[9];
    const PalmPoint& ring = joints[13];
    const PalmPoint knuckles{((index.x + ring.x) / 2 + middle.x) / 2,
                             ((index.y + ring.y) / 2 + middle.y) / 2};
    const double rotation = uprightRotation(wrist, knuckles);
    const double c = std::cos(rotation), s = std::sin(rotation);

    // The box around the joints in the hand's own upright axes, about the mean point.
    double left = HUGE_VAL, right = -HUGE_VAL, top = HUGE_VAL, bottom = -HUGE_VAL;
    for (const int j : kSteady) {
        const double dx = joints[j].x - wrist.x, dy = joints[j].y - wrist.y;
        const double u = c * dx + s * dy, v = -s * dx + c * dy;
        left = std::min(left, u);
        right = std::max(right, u);
        top = std::min(top, v);
        bottom = std::max(bottom, v);
    }
    const double width = right - left, height = bottom - top;
    const double u = (left + right) / 2, v = (top + bottom) / 2 + height * kLandmarkShiftY;

    HandRegion region;
    region.rotation = rotation;
    region.centerX = wrist.x + c * u - s * v;
    region.centerY = wrist.y + s * u + c * v;
    region.size = std::max(width, height) * kLandmarkScale;
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
