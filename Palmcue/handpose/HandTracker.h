// SPDX-License-Identifier: Apache-2.0
// Follows one hand from frame to frame. The palm detector finds a hand; from then on, the
// region for the next frame's landmark run comes from this frame's landmarks, and the hand is
// lost as soon as the landmark model sees no hand there (or the frame changes size, or the
// caller starts afresh). Used on one thread only.
#pragma once

#include "handpose/HandRegion.h"

#include <array>
#include <optional>

namespace palmcue::handpose {

class HandTracker {
public:
    // The region to look at first in a frame of this size; none when no hand is followed.
    std::optional<HandRegion> region(int frameWidth, int frameHeight) const;
    // The hand was seen in a frame of this size with these joints (frame pixels).
    void follow(const std::array<PalmPoint, 21>& joints, int frameWidth, int frameHeight);
    void lose() { next_.reset(); }

private:
    std::optional<HandRegion> next_;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
};

} // namespace palmcue::handpose
