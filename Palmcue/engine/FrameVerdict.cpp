// SPDX-License-Identifier: Apache-2.0
#include "engine/FrameVerdict.h"

#include <algorithm>

namespace palmcue {

FrameVerdictResult judgeFrame(HandPoseService& handPose, const ImageView& image) {
    HandPoseResult hands = handPose.detect(image, 1);
    if (!hands)
        return std::move(hands).failure();
    FrameVerdict verdict;
    if (hands->empty())
        return verdict;
    verdict.hand = std::move(hands->front());
    verdict.reading = classifyFingers(*verdict.hand);
    verdict.flags = verdict.reading.flags();
    verdict.raisedCount =
        static_cast<int>(std::count(verdict.flags.begin(), verdict.flags.end(), true));
    verdict.single = getSingleRaised(verdict.reading);
    return verdict;
}

} // namespace palmcue
