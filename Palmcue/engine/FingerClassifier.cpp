#include "engine/FingerClassifier.h"

#include <cmath>

namespace palmcue {
namespace {

constexpr double kThumbSpreadFactor = 1.15;

bool confident(const RecognizedPoint& point) {
    return point.confidence > kJointConfidenceThreshold;
}

struct FingerJoints {
    JointName tip;
    JointName mcp;
};

constexpr FingerJoints kLongFingers[] = {
    {JointName::IndexTip, JointName::IndexMCP},
    {JointName::MiddleTip, JointName::MiddleMCP},
    {JointName::RingTip, JointName::RingMCP},
    {JointName::LittleTip, JointName::LittleMCP},
};

} // namespace

FingerFlags classifyFingers(const HandObservation& observation) {
    FingerFlags flags{};

    const auto thumbTip = observation.recognizedPoint(JointName::ThumbTip);
    const auto thumbIP = observation.recognizedPoint(JointName::ThumbIP);
    const auto thumbMP = observation.recognizedPoint(JointName::ThumbMP);
    const auto wrist = observation.recognizedPoint(JointName::Wrist);
    if (!thumbTip || !thumbIP || !thumbMP || !wrist)
        return flags;

    if (confident(*thumbTip) && confident(*thumbIP)) {
        const double base = (wrist->location.x + thumbMP->location.x) / 2.0;
        const bool sideways = std::abs(thumbTip->location.x - base) >
                              std::abs(thumbIP->location.x - base) * kThumbSpreadFactor;
        const bool upward = thumbTip->location.y > thumbIP->location.y;
        flags[0] = sideways || upward;
    }

    for (int k = 1; k < kFingerCount; ++k) {
        const auto tip = observation.recognizedPoint(kLongFingers[k - 1].tip);
        if (!tip)
            return flags;
        const auto mcp = observation.recognizedPoint(kLongFingers[k - 1].mcp);
        if (!mcp)
            return flags;
        if (confident(*tip) && confident(*mcp))
            flags[k] = tip->location.y > mcp->location.y;
    }
    return flags;
}

std::optional<int> getSingleRaised(const FingerFlags& flags) {
    int count = 0;
    int first = -1;
    for (int i = 0; i < kFingerCount; ++i) {
        if (flags[i]) {
            ++count;
            if (first < 0)
                first = i;
        }
    }
    if (count != 1)
        return std::nullopt;
    return first;
}

} // namespace palmcue
