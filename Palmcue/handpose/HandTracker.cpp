// SPDX-License-Identifier: Apache-2.0
#include "handpose/HandTracker.h"

#include <cmath>

namespace palmcue::handpose {

std::optional<HandRegion> HandTracker::region(int frameWidth, int frameHeight) const {
    if (frameWidth != frameWidth_ || frameHeight != frameHeight_)
        return std::nullopt;
    return next_;
}

void HandTracker::follow(const std::array<PalmPoint, 21>& joints, int frameWidth, int frameHeight) {
    const HandRegion next = HandRegion::fromLandmarks(joints);
    // A region that is degenerate, or whose middle has left the frame, holds no hand worth
    // following: the palm detector looks at the whole frame instead.
    const bool usable = std::isfinite(next.centerX) && std::isfinite(next.centerY) &&
                        std::isfinite(next.rotation) && next.size >= 1.0 && next.centerX >= 0 &&
                        next.centerY >= 0 && next.centerX <= frameWidth &&
                        next.centerY <= frameHeight;
    if (!usable) {
        lose();
        return;
    }
    next_ = next;
    frameWidth_ = frameWidth;
    frameHeight_ = frameHeight;
}

} // namespace palmcue::handpose
