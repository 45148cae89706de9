// SPDX-License-Identifier: Apache-2.0
// What one analysed picture shows: detection asks for at most one hand, the first hand found
// is classified, and the finger raised alone is picked out. The application and the analyser
// tool both judge frames through judgeFrame(), so the tool reports exactly what the
// application would do.
#pragma once

#include "engine/FingerClassifier.h"
#include "engine/Services.h"

#include <optional>

namespace palmcue {

struct FrameVerdict {
    std::optional<HandObservation> hand; // none when the picture shows no hand
    FingerReading reading;               // every finger Unknown without a hand
    FingerFlags flags{};                 // as published: an unknown finger is not raised
    int raisedCount = 0;
    std::optional<int> single;
};

using FrameVerdictResult = Result<FrameVerdict, HandPoseFault>;

FrameVerdictResult judgeFrame(HandPoseService& handPose, const ImageView& image);

} // namespace palmcue
