// SPDX-License-Identifier: Apache-2.0
#include "RecordingHandPose.h"

#include <cstring>

namespace palmcue::camera::test {

HandPoseResult RecordingHandPose::detect(const ImageView& image, int) {
    lastWidth = image.width;
    lastHeight = image.height;
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, image.data, sizeof pixel);
    lastTopLeft = pixel;
    ++calls;
    return std::vector<HandObservation>{hand_};
}

} // namespace palmcue::camera::test
