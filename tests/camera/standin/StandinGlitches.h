// SPDX-License-Identifier: Apache-2.0
// Plays a stand-in camera's glitches (StandinCamera.h) on the frames of one of its elements, on
// that element's streaming thread.
#pragma once

#include "StandinCamera.h"

#include <atomic>
#include <gst/gst.h>
#include <optional>
#include <utility>

namespace palmcue::standin {

class GlitchPlayer {
public:
    // Before the camera's frame `index` is made: waits out a pause starting there (false when
    // cancelled or unplugged meanwhile), and gives the new size of a resize starting there.
    bool before(const std::vector<Glitch>& glitches, int index, const std::atomic<bool>& cancelled,
                const std::atomic<bool>& plugged, std::optional<std::pair<int, int>>& resize);

    // The frame as a corruption or truncation under way leaves it; takes `frame`.
    GstBuffer* after(GstBuffer* frame, bool jpeg);

private:
    int corruptLeft_ = 0;
    int truncateLeft_ = 0;
    unsigned noise_ = 12345;
};

} // namespace palmcue::standin
