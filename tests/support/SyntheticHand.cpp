// SPDX-License-Identifier: Apache-2.0
#include "support/EngineFakes.h"

#include <cmath>

namespace palmcue::test {
namespace {

struct P {
    double x, y;
};

P operator+(P a, P b) {
    return {a.x + b.x, a.y + b.y};
}

} // namespace

HandObservation syntheticHand(const std::array<bool, 5>& raised, double rotationDegrees,
                              bool mirrored, float confidence) {
    // Hand frame: wrist at the origin, palm length (wrist to middle knuckle) 1, fingers up,
    // thumb on +x.
    std::array<P, kJointCount> j{};
    const auto set = [&j](JointName name, P p) { j[static_cast<int>(name)] = p; };
    set(JointName::Wrist, {0, 0});
    const P mcp[4] = {{0.30, 0.95}, {0.08, 1.0}, {-0.14, 0.95}, {-0.34, 0.85}};
    const double length[4] = {0.95, 1.05, 0.98, 0.78};
    for (int k = 0; k < 4; ++k) {
        const int base = static_cast<int>(JointName::IndexMCP) + 4 * k;
        const double l = length[k];
        j[base] = mcp[k];
        if (raised[k + 1]) {
            j[base + 1] = mcp[k] + P{0, 0.45 * l};
            j[base + 2] = mcp[k] + P{0, 0.73 * l};
            j[base + 3] = mcp[k] + P{0, 1.0 * l};
        } else { // curled into the palm: the tip comes back below the middle joint
            j[base + 1] = mcp[k] + P{-0.02, 0.28};
            j[base + 2] = mcp[k] + P{-0.03, 0.10};
            j[base + 3] = mcp[k] + P{-0.03, -0.06};
        }
    }
    set(JointName::ThumbCMC, {0.22, 0.22});
    set(JointName::ThumbMP, {0.42, 0.42});
    if (raised[0]) { // out to the side and up, away from the index knuckle
        set(JointName::ThumbIP, {0.62, 0.60});
        set(JointName::ThumbTip, {0.80, 0.78});
    } else { // folded across the palm
        set(JointName::ThumbIP, {0.30, 0.62});
        set(JointName::ThumbTip, {0.08, 0.66});
    }

    const double a = rotationDegrees * M_PI / 180.0;
    const double scale = 0.18;
    HandObservation hand;
    hand.confidence = confidence;
    for (int i = 0; i < kJointCount; ++i) {
        const double x = mirrored ? -j[i].x : j[i].x;
        const double rx = x * std::cos(a) - j[i].y * std::sin(a);
        const double ry = x * std::sin(a) + j[i].y * std::cos(a);
        hand.joints[i] = RecognizedPoint{{0.5 + scale * rx, 0.3 + scale * ry}, confidence};
    }
    return hand;
}

} // namespace palmcue::test
