// SPDX-License-Identifier: Apache-2.0
// A hand-pose service that finds the same hand in every frame and remembers the picture it
// was shown, to check what the camera hands to detection.
#pragma once

#include "engine/Services.h"

#include <atomic>

namespace palmcue::camera::test {

class RecordingHandPose : public HandPoseService {
public:
    explicit RecordingHandPose(HandObservation hand) : hand_(hand) {}

    HandPoseResult detect(const ImageView& image, int maximumHandCount) override;

    std::atomic<int> calls{0};
    std::atomic<int> lastWidth{0};
    std::atomic<int> lastHeight{0};
    std::atomic<std::uint32_t> lastTopLeft{0}; // first pixel; bytes B,G,R,A from low to high

private:
    const HandObservation hand_;
};

} // namespace palmcue::camera::test
