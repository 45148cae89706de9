// Hand-pose detection that returns whatever outcome the test put in.
#pragma once

#include "engine/Services.h"

namespace palmcue::test {

class FakeHandPose : public HandPoseService {
public:
    HandPoseOutcome detect(const ImageView&, int) override { return outcome; }

    HandPoseOutcome outcome;
};

} // namespace palmcue::test
